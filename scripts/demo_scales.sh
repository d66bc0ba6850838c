# Sourced: the emulator options of the demonstration: four different scales, a few lines a
# second each (one behind a status header), on the station's default ports 2001 to 2004.
demo_scale_options=(
    --rate 4
    --profile 1:walk --start 1:1250 --step 1:3
    --profile 2:cycle --start 2:840 --format 2:fixed
    --profile 3:ramp --start 3:15 --step 3:0.5 --ending 3:cr --format 3:status
    --profile 4:steady --start 4:2480 --noise 4:0.4 --format 4:comma
)
