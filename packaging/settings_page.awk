# Turns the README's settings tables (each after a line "<!-- settings: SECTION -->") into the
# manual page's SETTINGS section for help2man, so that the page and the README cannot differ.
# With -v program=ledger, the ledger's tables ("<!-- ledger settings: SECTION -->") instead.
function roff(text) {
    gsub(/\\\|/, "\001", text)
    gsub(/`/, "", text)
    gsub(/\\/, "\\e", text)
    gsub(/\001/, "|", text)
    gsub(/ … /, " to ", text)
    gsub(/–/, "-", text)
    sub(/^[.']/, "\\\\&&", text)
    return text
}
function trim(text) {
    sub(/^ +/, "", text)
    sub(/ +$/, "", text)
    return text
}
BEGIN {
    print "[SETTINGS]"
    if (program == "ledger") {
        marker = "^<!-- ledger settings: [A-Za-z]+ -->$"
        print "The file /etc/tarvelio/ledger.ini, or the one --config names. Section and key names"
        print "match without regard to case; a value that cannot be used ends the ledger at start."
    } else {
        marker = "^<!-- settings: [A-Za-z]+ -->$"
        print "The file dane/konfig.ini, below the working directory. Section and key names match"
        print "without regard to case; a value that cannot be used means the key's default."
    }
}
$0 ~ marker {
    section = $(NF - 1)
    if (section != shown) {
        print ".SS Section " section
        shown = section
    }
    rows = -2  # the header line and the line under it come first
    next
}
rows != "" && /^\|/ {
    if (++rows <= 0) {
        next
    }
    line = $0
    gsub(/\\\|/, "\002", line)
    count = split(line, cell, "|")
    for (i = 1; i <= count; ++i) {
        gsub(/\002/, "\\|", cell[i])
    }
    print ".TP"
    print ".B " roff(trim(cell[2]))
    print roff(trim(cell[3])) "; default: " roff(trim(cell[4])) "."
    next
}
{ rows = "" }
