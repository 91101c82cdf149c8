// The first initialisation from two threads at once: the process-wide tables
// are built exactly once, and no Init returns before they are complete.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "core/core_tables.h"
#include "dremko.h"
#include "transform/transform.h"

namespace {

// What a context relies on of the process-wide tables.
struct TableView {
    float standard_deviation[64];
    float inverse_standard_deviation[64];
    float power_boundary[63];
    float step_size_inverse[kCategories];
    int32_t bin_inverse[kCategories];
    float dct[kFrameSamples];  // a DCT-IV, which reads both of its twiddle tables
};

void LookAtTables(TableView* view) {
    std::memcpy(view->standard_deviation, StandardDeviation, sizeof StandardDeviation);
    std::memcpy(view->inverse_standard_deviation, InverseStandardDeviation, sizeof InverseStandardDeviation);
    std::memcpy(view->power_boundary, PowerBoundary, sizeof PowerBoundary);
    std::memcpy(view->step_size_inverse, StepSizeInverse, sizeof StepSizeInverse);
    std::memcpy(view->bin_inverse, BinInverse, sizeof BinInverse);
    float input[kFrameSamples];
    for (int n = 0; n < kFrameSamples; ++n) input[n] = static_cast<float>(n % 7 - 3);
    Dct4(input, view->dct, kFrameSamples);
}

// Two threads released together each initialise a decoder and an encoder
// context (in opposite order) and look at the tables as soon as their Inits
// return; both views must equal the finished tables. Returns the exit status.
int InitialiseFromTwoThreadsAtOnce() {
    std::vector<uint8_t> encoders[2], decoders[2];
    TableView seen[2];
    std::atomic<int> waiting{2};
    auto first_use = [&](int i) {
        encoders[i].resize(static_cast<size_t>(Dremko_SizeofEncoderContext()));
        decoders[i].resize(static_cast<size_t>(Dremko_SizeofDecoderContext()));
        waiting.fetch_sub(1);
        while (waiting.load() > 0) {
        }
        if (i == 0) {
            Dremko_InitDecoderContext(decoders[i].data(), 1);
            Dremko_InitEncoderContext(encoders[i].data(), 64000, 0);
        } else {
            Dremko_InitEncoderContext(encoders[i].data(), 128000, 1);
            Dremko_InitDecoderContext(decoders[i].data(), 0);
        }
        LookAtTables(&seen[i]);
    };
    std::thread a(first_use, 0);
    std::thread b(first_use, 1);
    a.join();
    b.join();
    TableView finished;
    LookAtTables(&finished);
    for (const TableView& view : seen)
        if (std::memcmp(&view, &finished, sizeof finished) != 0) return 1;
    return 0;
}

TEST(ConcurrentFirstUse, TwoThreadsInitialisingContextsSeeCompleteTables) {
    // Each run forks this process, where no table is built yet (CTest runs
    // every test in a process of its own); several runs give the two threads
    // several chances to meet. Forking, not re-executing: a target's build
    // under qemu-user cannot execute itself again.
    if (StandardDeviation[0] != 0.0f) GTEST_SKIP() << "this process has built the tables already";
    GTEST_FLAG_SET(death_test_style, "fast");
    for (int run = 0; run < 4; ++run)
        EXPECT_EXIT(std::exit(InitialiseFromTwoThreadsAtOnce()), testing::ExitedWithCode(0), "") << "run " << run;
}

}  // namespace
