// Hostile peers against the real window: a line that never ends and a stream of random bytes.
// The station keeps answering the operator and its memory stays bounded.
#include <QMetaObject>

#include <atomic>
#include <random>
#include <thread>

#include "tests/app/scale_fixture.h"
#include "tests/support/resident_memory.h"

namespace station::test {
namespace {

class FloodTest : public ScaleTest {
protected:
    // Sends `total` bytes made by `make` to scale 1 from a thread, clicks the step simulator
    // while they are still coming, and waits until all have been read.
    void Flood(std::size_t total, const std::function<std::string(std::size_t)>& make) {
        Listener server;
        StartWithPort(1, server.Port());
        const int peer = ConnectScale(server, 1);
        [[maybe_unused]] const double before = ResidentMiB();
        std::atomic<std::size_t> sent{0};
        std::atomic<std::size_t> sent_at_click{0};
        std::thread sender([&] {
            bool clicked = false;
            while (sent < total) {
                const std::string chunk = make(std::min(std::size_t{64} * 1024, total - sent));
                SendAll(peer, chunk);
                sent += chunk.size();
                if (!clicked && sent > (1u << 20)) {
                    // The operator clicks once the flood is well under way.
                    clicked = true;
                    QMetaObject::invokeMethod(form_.get(), [&] {
                        form_->Controls().BBsymulup_small->click();
                        sent_at_click = sent.load();
                    });
                }
            }
        });
        const bool read_all = RunQtUntil([&] {
            return sent == total && sent_at_click > 0 &&
                   form_->Model().ClientSocket(1).WinSocket().ReadInto(nullptr, -1) == 0;
        });
        sender.join();
        close(peer);
        ASSERT_TRUE(read_all);
        // The operator's click was handled in the middle of the flood, not after it.
        EXPECT_GT(sent_at_click, 0u);
        EXPECT_LT(sent_at_click, total);
        EXPECT_LE(form_->Model().Received(1).line.size(), WeightDecoder::kReceiveBufferCap);
#ifndef __SANITIZE_ADDRESS__  // its quarantine keeps freed memory on purpose
        EXPECT_LT(ResidentMiB() - before, 20);
#endif
    }
};

TEST_F(FloodTest, FiftyMebibytesWithoutACarriageReturn) {
    Flood(50u << 20, [](std::size_t size) { return std::string(size, '7'); });
    EXPECT_EQ(Shown(1), "5");  // the step simulator's reading; the endless line showed nothing
}

TEST_F(FloodTest, RandomBytes) {
    std::mt19937_64 random(7);
    Flood(10u << 20, [&](std::size_t size) {
        std::string bytes(size, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(random());
        }
        return bytes;
    });
}

}  // namespace
}  // namespace station::test
