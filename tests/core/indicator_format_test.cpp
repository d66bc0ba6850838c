// Every preset and the installer's pattern, fed as a scale sends them (terminators, checksums,
// several frames in a row) through the decoder, under a point and a comma separator: what the
// display shows, and whether the load moves.
#include <gtest/gtest.h>

#include <cstdio>

#include "core/reading/pattern_format.h"
#include "core/reading/preset_recognition.h"
#include "tests/core/fakes.h"

namespace station::test {
namespace {

constexpr int kNone = -1;  // the format does not say whether the load moves

struct FrameCase {
    const char* preset;
    std::string stream;           // bytes as the scale sends them
    const char* shown;            // the last text shown; "" for none
    int motion;                   // kNone, 0 or 1
    const char* unit = nullptr;   // the unit of the last reading, where the row says
    const char* never = nullptr;  // a text never shown on the way, where the row says
};

std::string Xor(const std::string& bytes) {
    unsigned sum = 0;
    for (const char c : bytes) {
        sum ^= static_cast<unsigned char>(c);
    }
    std::array<char, 3> hex{};
    std::snprintf(hex.data(), hex.size(), "%02X", sum);
    return hex.data();
}

// STX, A B C, six digits, no tare, CR and the checksum byte of STX to CR.
std::string StxStatus(const std::string& abc, const std::string& digits, int corrupt = 0) {
    const std::string frame = "\x02" + abc + digits + "\r";
    unsigned sum = 0;
    for (const char c : frame) {
        sum += static_cast<unsigned char>(c);
    }
    return frame + static_cast<char>(((0U - sum) & 0x7FU) + static_cast<unsigned>(corrupt)) +
           "\x02";
}

std::string WFrame(const std::string& body, bool corrupt = false) {
    return body + (corrupt ? "00" : Xor(body)) + "\r\n";
}

const FrameCase kCases[] = {
    // stx-status: frames run from STX to STX; the range and status bytes stay out of the weight.
    {"stx-status",
     "\x02"
     "2  001234000000\r\x02",
     "1234", 0},
    {"stx-status", StxStatus("4  ", "123456"), "1235", 0},
    {"stx-status", StxStatus("4\" ", "123456"), "-1235", 0},
    {"stx-status", StxStatus("2( ", "  1234"), "1234", 1},
    {"stx-status", StxStatus("2$ ", "999999"), "OL", 0},
    {"stx-status", StxStatus("2& ", "999999"), "UL", 0},  // negative and out of range
    {"stx-status",
     "\x02"
     "2  001234\r",
     "1234", 0},  // a single frame, read at its CR
    {"stx-status", StxStatus("1  ", "001234"), "12340", 0},
    {"stx-status", StxStatus("2  ", "001234", 1), "#err", kNone},
    {"stx-status", StxStatus("2  ", "000000"), "0", 0},
    // csv-status
    {"csv-status", "ST,GS,+0001234.5kg\r\n", "1235", 0},
    {"csv-status", "US,NT,-00012.50 kg\r\n", "-13", 1},
    {"csv-status", "OL,GS,+999999.9kg\r\n", "OL", 0},
    {"csv-status", "UL,GS,-    .  kg\r\n", "UL", 0},
    {"csv-status", "QT,+000012 PCS\r\n", "#err", 0},
    {"csv-status", "01,ST,GS,+00012.5,kg\r\n", "13", 0},
    {"csv-status", "ST,GS,   12.5, kg\r\n", "13", 0},
    {"csv-status", "ST,GS,+0012.5 %\r\n", "#err", 0},
    {"csv-status", "ST,NT,+0000.0kg\r\n", "0", 0},
    {"csv-status", "ST,GS,+0001234.5kg,TR,+0000034.4kg\r\n", "1200", 0},
    {"csv-status", "ST,GS,+0000000.5,kg,TR,+0000001.0,kg\r\n", "-1", 0},
    {"csv-status", "ST,GS,+999999999999999999kg,TR,0.5kg\r\n", "#err", 0},
    {"csv-status", "01ST,GS,+00012.5kg\r\n", "13", 0},
    {"csv-status", "12US,NT,-0003.0kg\r\n", "-3", 1},
    {"csv-status", "ST,GS    123.0 kg\r\n", "123", 0},
    {"csv-status", "US,NT  -  12.5 lb\r\n", "-13", 1},
    {"csv-status", "ST,1,+00012.50kg,+00001.00kg\r\n", "12", 0},
    {"csv-status", "ST,2,  120.0kg\r\n", "120", 0},
    {"csv-status", "ST,3,+00012.50kg,+9999999999999999999kg\r\n", "#err", 0},
    {"csv-status", "ST,GS,+0050.0kg,PT,+0010.0kg\r\n", "40", 0},
    {"csv-status", "ST,NT,+0040.0kg,TR,+0010.0kg\r\n", "40", 0},  // net already
    {"csv-status", "ST,NT-     12.4 kg\r\n", "-12", 0},
    // letter-status
    {"letter-status", "S S     100.50 g\r\n", "101", 0},
    {"letter-status", "S D     -99.99 g\r\n", "-100", 1},
    {"letter-status", "S +\r\n", "OL", kNone},
    {"letter-status", "S -\r\n", "UL", kNone},
    {"letter-status", "S I\r\n", "#err", kNone},
    {"letter-status", "S S     12 lb  8.5 oz\r\n", "13", 0},
    {"letter-status", "S D     -0 lb 12.0 oz\r\n", "-1", 1},
    {"letter-status", "S S   12:07.9 lb:oz\r\n", "12", 0},
    {"letter-status", "S S     12 lb 16.0 oz\r\n", "#err", 0},
    // lf-range: the range digit stands before the weight, and stays out of it
    {"lf-range", "\n 1G      1234.5kg\r", "1235", 0},
    {"lf-range", "\n 2NM     -12.50kg\r", "-13", 1},
    {"lf-range", "\nO1G     9999.9kg\r", "OL", 0},
    {"lf-range", "\nU1G     -999.9kg\r", "UL", 0},
    {"lf-range", "\nE1G     1234.5kg\r", "#err", 0},
    {"lf-range", "\nZ1g         0.0kg\r", "0", 0},
    // stx-polarity
    {"stx-polarity", "\x02-  12.50KG \r\n", "-13", 0},
    {"stx-polarity", "\x02+ 1234.5KNM\r\n", "1235", 1},
    {"stx-polarity", "\x02+9999999KGO\r\n", "OL", 0},
    // marker
    {"marker", "    1234.5 kg\r\n", "1235", 0},
    {"marker", "SI ?      18.5 kg \r\n", "19", 1},
    {"marker", "S     -     8.5 g  \r\n", "-9", 0},
    {"marker", "SU ?     -12.5 lb \r\n", "-13", 1},
    {"marker", "SI ^\r\n", "OL", kNone},
    {"marker", "SI I\r\n", "#err", kNone},
    {"marker", "S  ?    12 PCS\r\n", "#err", 1},
    {"marker", "    1234.5 kg ?\r\n", "1235", 1},
    {"marker", "?-   12.5 kg\r\n", "-13", 1},
    {"marker", "    12.5 kg ? 12:30:05\r\n", "13", 1},  // a legend or a time after the unit
    {"marker", "    12.5 kg NET\r\n", "13", 0},
    {"marker", "^\r\n", "OL", kNone},
    {"marker", "v\r\n", "UL", kNone},
    {"marker", "      12 PCS\r\n", "#err", 0},
    // id-line
    {"id-line", "     +1234.5 kg \r\n", "1235", 0},
    {"id-line", "     +1234.5    \r\n", "1235", 1},
    {"id-line", "ID0001     -12.50 kg  \r\n", "-13", 0},
    {"id-line", "H\r\n", "OL", kNone},
    {"id-line", "L\r\n", "UL", kNone},
    {"id-line", "Err 220\r\n", "#err", kNone},
    {"id-line", "Err 123456789012345678\r\n", "#err", kNone},  // not an id before a weight
    {"id-line", "+      1234[5] g\r\n", "12345", 0},
    {"id-line", "-     12.3[4] kg\r\n", "-12", 0},
    {"id-line", "+      1234[x] g\r\n", "#err", 0},
    {"id-line", "N   +     12.50 kg\r\n", "13", 0},
    {"id-line", "G1 -      8.5 kg \r\n", "-9", 0},
    {"id-line", "N1234567 +  8.5 kg\r\n", "#err", kNone},
    // dollar
    {"dollar", "$012345\r\n", "12345", 0},
    {"dollar", "$112345\r\n", "12345", 1},
    {"dollar", "$312345\r\n", "#err", kNone},
    {"dollar", "$  12.50   0.50 kg 0A1F\r\n", "13", kNone},
    {"dollar", "$3+ 12?\r\n", "#err", kNone},  // invalid, and not the net-and-tare layout
    {"dollar", "$  12.50   0.50 kg\r\n", "#err", kNone},
    // w-checksum
    {"w-checksum", WFrame("WG  123.4kg"), "123", kNone},
    {"w-checksum", WFrame("WN -12.50kg"), "-13", kNone},
    {"w-checksum", WFrame("WG     OLkg"), "OL", kNone},
    {"w-checksum", WFrame("WG     LOkg"), "UL", kNone},
    {"w-checksum", WFrame("WG  123.4kg", true), "#err", kNone},
    // equals: no terminator, the next '=' ends a frame
    {"equals", "=5.210-=5.210-=", "-13", kNone},
    {"equals", "=00.001=", "100", kNone},
    {"equals", "=0.51000=0.61000", "16", kNone},  // as long as the one before: whole
    {"equals-forward", "=-012.5=", "-13", kNone},
    // stx-etx
    {"stx-etx", "\x02+0012502" + Xor("+0012502") + "\x03", "13", kNone},
    {"stx-etx",
     "\x02+0012502"
     "00\x03",
     "#err", kNone},
    {"stx-etx", "\x02-  12.50M\x03", "-13", 1},
    {"stx-etx", "\x02+9999999O\x03", "OL", 0},
    // block: the net, or the weight, is shown; the other lines change nothing
    {"block", "G  12.50 kg\rT   2.50 kg\rN  10.00 kg\r", "10", kNone},
    {"block", "W 5.5 kg\rC 10 PCS\rTOT 55 kg\r", "6", kNone},
    {"block", "G  12.50 kg\r", "13", kNone},  // no net: no tare, the gross shown
    {"block", "   12.50 kg G\r    2.50 kg T\r   10.00 kg N\r\n", "10", kNone},
    {"block", "  12.50 kg ? N\r", "13", 1},
    {"block", "GROSS:  150.0kg\r\n TARE:   65.0kg PT\r\n  NET:   85.0kg\r\n", "85", kNone},
    {"block", "Weight:  12.50 kg\r\n\r\nNo.:  0005\r\n\r\nTotal:  62.50 kg\r\n\r\n", "13", kNone},
    {"block", "N/W  7.5 kg\rNo. 12\r", "8", kNone},
    {"block", "G 1000.0 kg\rT 0.0 kg\rN 1000.0 kg\r\nG 1500.0 kg\r\nG 1500.0 kg\r\n", "1500",
     kNone},
    {"block", "GROSS  1500.0 kg\r\n", "1500", kNone},
    // polled
    {"polled", "\x02 1234.5 kg\r", "1235", kNone},
    {"polled", "\x02?\x22\r", "OL", 0},
    {"polled", "\x02?\x24\r", "UL", 0},
    {"polled", "\x02?\x21\r", "#err", 1},
    // cr-etx
    {"cr-etx", "\r+001234 kgG\x03", "1234", 0},
    {"cr-etx", "\r-001234MkgN\x03", "-1234", 1},
    {"cr-etx", "\r+999999OkgG\x03", "OL", 0},
    {"cr-etx", "\r-  12.34 g G\x03", "-12", 0},
    {"cr-etx", "\r 1234.5Mt N\x03", "1235", 1},
    {"cr-etx", "\r   850.0 lbG\x03", "850", 0},
    {"cr-etx", "\r  1234.5eozG\x03", "#err", 0},
    {"cr-etx", "\r+0012.34 g9G\x03", "#err", kNone},
    {"cr-etx", "\r+12 3.4 kgG\x03", "#err", 0},
    // sign6-status
    {"sign6-status", "+001234kgG  \r", "1234", 0},
    {"sign6-status", "-01.234kgNMO\r", "-1", 1},
    {"sign6-status", "+999999kgGOC\r", "OL", 0},
    // A weight only from a whole frame: a half glued to the next, a field left over, a unit that
    // is no unit, an ending the layout does not have, noise before a frame's start.
    {"csv-status", "ST,GS,+0ST,GS,+00333.0kg\r\n", "#err", 0, nullptr, "0"},
    {"csv-status", "ST,GS,+00355.0kgST,GS,+00356.0kg\r\n", "#err", 0, nullptr, "355"},
    {"csv-status", "ST,GS,+0012.5,kg,TR\r\n", "#err", 0},
    {"csv-status", "ST,GS,+00250.0kg\r\nST,GS,+00300.0kg\n", "300", 0, "kg"},
    {"csv-status", "ST,GS,+00250.0kg\n\rST,GS,+00300.0kg\n\r", "300", 0},
    {"letter-status", "S S     100.50 gx\r\n", "#err", 0},
    {"lf-range", "\n 1G      1234.5kg\n 1G      1236.0kg\n", "1236", 0},
    {"lf-range", "\x11\x7fnoise\n 1G      1234.5kg\r", "1235", 0},
    {"lf-range", "\n 1G      1234.5kgST\r", "#err", 0},
    {"stx-status",
     "\x02"
     "2  001234\r\n",
     "1234", 0, "lb"},  // CR LF in place of a check byte; B bit 4 clear: pounds
    {"stx-status", "\x11\x7fnoise" + StxStatus("20 ", "001234"), "1234", 0, "kg"},
    {"stx-status", StxStatus("2 1", "001234"), "1234", 0, "g"},
    {"stx-status", StxStatus("2 2", "001234"), "1234", 0, "t"},
    {"stx-status", StxStatus("2 3", "001234"), "1234", 0, "oz"},
    {"stx-polarity", "\x02garbage\x02+ 1234.5KNM\r\n", "1235", 1},
    {"polled", "\x7f\x02 1234.5 kg\n", "1235", kNone},
    {"cr-etx", "junk\r+001234 kgG\x03", "1234", 0},
    {"stx-etx", "noise\x02-  12.50M\x03", "-13", 1},
    {"equals", "=5.210-\r\n=5.210-\r\n", "-13", kNone},
    // A check byte in either form the layout allows, never read as digits.
    {"stx-etx", "\x02+0251002\x1f\x03", "251", kNone, nullptr, "251002"},
    {"stx-etx", "\x02+0251002\x1e\x03", "#err", kNone, nullptr, "251002"},
    // Blocks: a tare without a net is taken off the gross; a block is shown whole.
    {"block", "GROSS 252.0 kg\r\nTARE 70.0 kg\r\n", "182", kNone},
    {"block", "G 260.0 kg\rT 70.0 kg\rN 190.0 kg\r\nG 255.0 kg\rT 70.0 kg\rN 185.0 kg\r\n", "185",
     kNone, nullptr, "255"},
    {"block", "252.0 kg\r182.0 kg\r70.0 kg\r\n253.0 kg\r183.0 kg\r70.0 kg\r\n", "183", kNone, "kg",
     "70"},
};

class IndicatorFormats : public ::testing::TestWithParam<char> {};

TEST_P(IndicatorFormats, EachPresetShowsWhatItsLayoutSays) {
    for (const FrameCase& c : kCases) {
        SCOPED_TRACE(std::string(c.preset) + ": " + c.stream);
        DecoderRig rig(GetParam());
        auto format = MakePreset(c.preset);
        ASSERT_NE(format, nullptr);
        rig.decoder.SetFormat(1, std::move(format));
        ReceiveBuffer buffer;
        rig.decoder.AppendReceivedData(c.stream, static_cast<int>(c.stream.size()),
                                       kWeightLineProtocol, buffer, 1);
        const std::string shown =
            rig.displays.shown.empty() ? "" : rig.displays.shown.back().second;
        EXPECT_EQ(shown, c.shown);
        if (c.unit != nullptr) {
            EXPECT_EQ(rig.displays.readings.back().unit, c.unit);
        }
        for (const auto& [scale, text] : rig.displays.shown) {
            EXPECT_NE(text, c.never == nullptr ? "" : c.never);
        }
        if (!rig.displays.motion.empty()) {
            const std::optional<bool> motion = rig.displays.motion.back();
            EXPECT_EQ(motion ? (*motion ? 1 : 0) : kNone, c.motion);
        }
    }
    EXPECT_EQ(MakePreset("standard"), nullptr);
    EXPECT_EQ(PresetNames().size(), 16u);
}

TEST_P(IndicatorFormats, AFailedChecksumIsLoggedOnceAMinute) {
    DecoderRig rig(GetParam());
    rig.decoder.SetFormat(1, MakePreset("w-checksum"));
    ReceiveBuffer buffer;
    const std::string bad = WFrame("WG  123.4kg", true);
    for (int i = 0; i < 3; ++i) {
        rig.decoder.AppendReceivedData(bad, static_cast<int>(bad.size()), kWeightLineProtocol,
                                       buffer, 1);
    }
    std::size_t faults = 0;
    for (const std::string& line : rig.log.Lines()) {
        faults += line.find(" !! Waga 1: checksum failed") != std::string::npos ? 1U : 0U;
    }
    EXPECT_EQ(faults, 1u);
}

struct PatternCase {
    const char* line;
    const char* shown;
    int motion;
};

TEST_P(IndicatorFormats, ThePatternReadsItsNamedGroupsAsLatin1Bytes) {
    PatternProblem problem;
    auto format = PatternFormat::Make(
        R"(^(?P<over>OVER)?(?:(?P<sign>[-+])\s*(?P<weight>[\d.,]+) kg(?P<motion> \?)?)?\xb3?$)",
        problem);
    ASSERT_NE(format, nullptr) << problem.Text();
    DecoderRig rig(GetParam());
    rig.decoder.SetFormat(1, std::move(format));
    const PatternCase cases[] = {
        {"+ 1234.5 kg", "1235", 0},     {"- 12,5 kg ?", "-13", 1}, {"OVER", "OL", 0},
        {"+ 1234.5 kg\xb3", "1235", 0}, {"1234.5", "#err", kNone},
    };
    for (const PatternCase& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(rig.Display(c.line), c.shown);
        const std::optional<bool> motion = rig.displays.motion.back();
        EXPECT_EQ(motion ? (*motion ? 1 : 0) : kNone, c.motion);
    }

    EXPECT_EQ(PatternFormat::Make("(?P<weight>[0-9]+", problem), nullptr);
    EXPECT_NE(problem.Text().find("does not compile"), std::string::npos) << problem.Text();
    EXPECT_EQ(PatternFormat::Make("(?P<value>[0-9]+)", problem), nullptr);
    EXPECT_NE(problem.Text().find("weight"), std::string::npos) << problem.Text();
}

// "Rozpoznaj" ranks by fit: the preset preselected for each stream, or none where two fit alike.
TEST(PresetRecognition, PreselectsOnlyAPresetThatFitsClearlyBest) {
    const std::string stx_pounds = StxStatus("2  ", "002530");
    const struct {
        std::string stream;
        const char* chosen;
    } streams[] = {
        {"ST,GS,+00253.0kg\r\nST,GS,+00253.0kg\r\nST,GS,+00253.0kg\r\n", "csv-status"},
        {"G  323.0 kg\rT   70.0 kg\rN  253.0 kg\r\nG  323.0 kg\rT   70.0 kg\rN  253.0 kg\r\n"
         "G  323.0 kg\rT   70.0 kg\rN  253.0 kg\r\n",
         "block"},
        {"+000253kgG  \r+000514kgGMO\r+000514kgG  \r", "sign6-status"},
        {"\x02" + stx_pounds + stx_pounds + stx_pounds, "stx-status"},
        {"=00.352=00.352=00.352=00.352=", ""},
    };
    for (const auto& [stream, chosen] : streams) {
        SCOPED_TRACE(chosen);
        const std::vector<PresetMatch> matches = RecognisePresets(stream);
        ASSERT_FALSE(matches.empty());
        EXPECT_EQ(ClearlyBest(matches) ? matches[0].preset : "", chosen);
    }
}

INSTANTIATE_TEST_SUITE_P(Separators, IndicatorFormats, ::testing::Values('.', ','), SeparatorName);

}  // namespace
}  // namespace station::test
