#include "core/reading/weight_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/core/fakes.h"

namespace station {
namespace {

using Shown = std::vector<std::pair<int, std::string>>;

class Framing : public ::testing::Test {
protected:
    void Feed(const std::string& data, int scale = 1) {
        rig_.decoder.AppendReceivedData(data, static_cast<int>(data.size()), kWeightLineProtocol,
                                        buffer_, scale);
    }

    std::vector<std::string> LoggedTexts() const {
        std::vector<std::string> texts;
        for (const std::string& line : rig_.log.Lines()) {
            texts.push_back(line.substr(std::string("14-03-07.045 1  << ").size()));
        }
        return texts;
    }

    test::DecoderRig rig_{'.'};
    ReceiveBuffer buffer_;
};

TEST_F(Framing, CutsLinesAtCarriageReturnsAndDropsLineFeeds) {
    Feed("12\n3\r1.5\r\n\n-7\n\r4");
    EXPECT_EQ(rig_.displays.shown, (Shown{{1, "123"}, {1, "2"}, {1, "-7"}}));
    EXPECT_EQ(LoggedTexts(), (std::vector<std::string>{"123", "1.5", "-7"}));
    EXPECT_EQ(buffer_.line, "4");
}

TEST_F(Framing, TwoCarriageReturnsLogAnEmptyLineAndKeepTheDisplay) {
    Feed("5\r\r");
    EXPECT_EQ(rig_.displays.shown, (Shown{{1, "5"}}));
    EXPECT_EQ(LoggedTexts(), (std::vector<std::string>{"5", ""}));
}

TEST_F(Framing, LineFeedAloneNeverEndsALine) {
    Feed("1\n2\n3\n");
    EXPECT_TRUE(rig_.log.Lines().empty());
    EXPECT_EQ(buffer_.line, "123");
}

TEST_F(Framing, UnfinishedTailJoinsTheNextData) {
    Feed("12");
    Feed("3.6\r");
    EXPECT_EQ(rig_.displays.shown, (Shown{{1, "124"}}));
    EXPECT_TRUE(buffer_.line.empty());
}

TEST_F(Framing, KeepsZeroBytesAndHighBytesInTheLine) {
    Feed(std::string("a\0\xb9 7\r", 6));
    EXPECT_EQ(LoggedTexts(), (std::vector<std::string>{std::string("a\0\xb9 7", 5)}));
    EXPECT_EQ(rig_.displays.shown, (Shown{{1, "7"}}));
}

TEST_F(Framing, TakesOnlyTheGivenLengthAndOnlyWeightLines) {
    rig_.decoder.AppendReceivedData("12\r34\r", 3, kWeightLineProtocol, buffer_, 1);
    rig_.decoder.AppendReceivedData("9\r", 50, kWeightLineProtocol, buffer_, 1);
    rig_.decoder.AppendReceivedData("8\r", 0, kWeightLineProtocol, buffer_, 1);
    rig_.decoder.AppendReceivedData("8\r", -1, kWeightLineProtocol, buffer_, 1);
    rig_.decoder.AppendReceivedData("8\r", 2, 36, buffer_, 1);
    EXPECT_EQ(rig_.displays.shown, (Shown{{1, "12"}, {1, "9"}}));
    EXPECT_TRUE(buffer_.line.empty());
}

TEST_F(Framing, OtherProtocolLinesAreLoggedButNotDecoded) {
    rig_.decoder.DecodeWeightLine("12", 7, 2);
    EXPECT_EQ(rig_.log.Lines().size(), 1u);
    EXPECT_TRUE(rig_.displays.shown.empty());
}

TEST_F(Framing, ScalesOutsideOneToFourAreLoggedWithoutDisplay) {
    Feed("1\r", 0);
    Feed("2\r", 5);
    Feed("3\r", 4);
    EXPECT_EQ(rig_.displays.shown, (Shown{{4, "3"}}));
    ASSERT_EQ(rig_.log.Lines().size(), 3u);
    EXPECT_EQ(rig_.log.Lines()[1], "14-03-07.045 5  << 2");
}

TEST_F(Framing, EndlessLineIsDroppedWholeAtTheCapAndCollectionGoesOnAfterItsEnd) {
    const std::size_t cap = WeightDecoder::kReceiveBufferCap;
    Feed(std::string(cap, '1'));
    EXPECT_TRUE(rig_.log.Lines().empty());
    Feed("2");
    ASSERT_EQ(rig_.log.Lines().size(), 1u);
    EXPECT_EQ(rig_.log.Lines()[0],
              "14-03-07.045 1  !! odrzucono niezako\xf1"
              "czon\xb9 lini\xea, bajt\xf3w: 8192");
    EXPECT_EQ(buffer_.line, "");
    // The tail of the dropped line is no reading, wherever its carriage return falls.
    Feed("12.5 kg\n\r");
    EXPECT_TRUE(rig_.displays.shown.empty());
    Feed("5\r");
    EXPECT_EQ(rig_.displays.shown, (Shown{{1, "5"}}));
    EXPECT_EQ(rig_.log.Lines().size(), 2u);
}

TEST_F(Framing, FloodInOneChunkLogsOneDropPerLine) {
    const std::size_t cap = WeightDecoder::kReceiveBufferCap;
    Feed(std::string(3 * cap + 10, '7') + "\r" + std::string(cap + 1, '8') + "\r4");
    EXPECT_EQ(rig_.log.Lines().size(), 2u);
    EXPECT_TRUE(rig_.displays.shown.empty());
    EXPECT_EQ(buffer_.line, "4");
}

TEST_F(Framing, LineOfExactlyTheCapIsDecoded) {
    const std::size_t cap = WeightDecoder::kReceiveBufferCap;
    Feed(std::string(cap - 1, ' ') + "4\r");
    EXPECT_EQ(rig_.log.Lines().size(), 1u);
    EXPECT_EQ(rig_.displays.shown, (Shown{{1, "4"}}));
}

// What a stream leaves behind: the log, the displays and the unfinished tail.
struct Outcome {
    std::vector<std::string> log;
    Shown shown;
    std::string tail;
};

Outcome FeedInChunks(const std::string& stream, const std::vector<std::size_t>& cuts) {
    test::DecoderRig rig('.');
    ReceiveBuffer buffer;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        const std::string chunk = stream.substr(from, cut - from);
        rig.decoder.AppendReceivedData(chunk, static_cast<int>(chunk.size()), kWeightLineProtocol,
                                       buffer, 3);
        from = cut;
    }
    return {rig.log.Lines(), rig.displays.shown, buffer.line};
}

TEST(FramingProperty, AnySplitOfAStreamGivesTheSameLinesLogsAndDisplays) {
    std::mt19937 random(20261207);
    const std::string alphabet = "0123456789 .,-+kgST\r\n\r\r";
    for (int round = 0; round < 300; ++round) {
        std::string stream(std::uniform_int_distribution<std::size_t>(0, 400)(random), ' ');
        for (char& c : stream) {
            c = alphabet[std::uniform_int_distribution<std::size_t>(0,
                                                                    alphabet.size() - 1)(random)];
        }
        if (round % 10 == 0) {  // now and then a line about as long as the cap, with a tail
            const std::size_t length =
                WeightDecoder::kReceiveBufferCap - 2 + static_cast<std::size_t>(round % 7);
            stream.insert(stream.size() / 2, std::string(length, '9') + "1.5\n2");
        }
        const Outcome whole = FeedInChunks(stream, {stream.size()});
        std::vector<std::size_t> cuts;
        for (std::size_t at = 0; at < stream.size();) {
            at = std::min(stream.size(),
                          at + std::uniform_int_distribution<std::size_t>(1, 9)(random));
            cuts.push_back(at);
        }
        const Outcome split = FeedInChunks(stream, cuts);
        ASSERT_EQ(split.log, whole.log) << "round " << round;
        ASSERT_EQ(split.shown, whole.shown) << "round " << round;
        ASSERT_EQ(split.tail, whole.tail) << "round " << round;
    }
}

}  // namespace
}  // namespace station
