// What signing costs a save: the register's save alone, with signing off and on (the line's
// evidence before and after it, each on disk), and the station's check of the month after a save
// (every link recomputed, the newest signature verified), in a month of 1,000 and 20,000 lines;
// and an auditor's check of a 20,000-line month, every signature verified. The saves' register
// lives in /tmp: each save waits for its fsyncs, as at a station; the months checked are made in
// memory (/dev/shm), where their 60,000 fsyncs cost nothing.
#include <benchmark/benchmark.h>

#include "common/weighing_chain.h"
#include "core/register/register_signer.h"
#include "core/register/weighing_register.h"
#include "tests/core/fakes.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace station;

const Month kMonth = *Month::Of(2026, 12);

// A month of `lines` signed lines in `dir`, saved by the station's register.
void SignedMonth(const std::string& dir, RegisterSigner& signer, int lines) {
    test::FakeClock clock;
    WeighingRegister weighings(clock, ':', dir);
    weighings.SignWith(&signer);
    for (int n = 0; n < lines; ++n) {
        clock.now = {2026, 12, 1 + n / 1000 % 28, n / 60 % 24, n % 60, 0, 0};
        weighings.SaveWeighing(1 + n % 4, std::to_string(1000 + n));
    }
}

void BM_Save(benchmark::State& state) {
    test::TempDir dir;
    RegisterSigner signer(dir.Path(), NewKeyPair());
    test::FakeClock clock;
    clock.now = {2026, 12, 10, 8, 0, 0, 0};
    WeighingRegister weighings(clock, ':', dir.Path());
    weighings.SignWith(state.range(0) != 0 ? &signer : nullptr);
    for (auto _ : state) {
        weighings.SaveWeighing(1, "1234");
    }
}
BENCHMARK(BM_Save)->Arg(0)->Arg(1)->ArgName("signed")->Unit(benchmark::kMicrosecond);

void BM_StationCheck(benchmark::State& state) {
    test::TempDir dir("/dev/shm");
    RegisterSigner signer(dir.Path(), NewKeyPair());
    SignedMonth(dir.Path(), signer, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(signer.Check(kMonth));
    }
}
BENCHMARK(BM_StationCheck)->Arg(1000)->Arg(20000)->ArgName("lines")->Unit(benchmark::kMillisecond);

void BM_AuditorCheck(benchmark::State& state) {
    test::TempDir dir("/dev/shm");
    const KeyPair key = NewKeyPair();
    RegisterSigner signer(dir.Path(), key);
    SignedMonth(dir.Path(), signer, 20000);
    const MonthLines lines = ReadMonthLines(dir / "202612.txt");
    const EvidenceRead evidence = ReadEvidence(test::ReadFile(dir / "202612.podpisy"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            CheckMonth(kMonth, lines.lines, lines.end, evidence, key.public_key, true));
    }
}
BENCHMARK(BM_AuditorCheck)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
