// Packet loss through the real binary: the tally of rebuilt and concealed
// frames, bursty loss statistics, and alignment after gaps.
#include <sndfile.h>

#include <algorithm>

#include "cli/cli_harness.h"
#include "test_signals.h"

namespace cli_test {
namespace {

class Loss : public CliTest {
protected:
    // Speech-like sound of `frames` 20 ms frames, encoded with `copies` copies.
    void Encode(int frames, int copies) {
        input_.rate = 48000;
        input_.channels = 1;
        input_.samples = test_signals::SpeechLike(frames);
        WriteAudioFile(dir_ / "in.wav", input_, SF_FORMAT_WAV);
        const Result r = RunDremko(dir_, "encode in.wav in.drk --redundancy " + std::to_string(copies));
        ASSERT_EQ(r.status, 0) << r.err;
    }
    std::string Decode(const std::string& loss_options, const std::string& output = "out.wav") {
        const Result r = RunDremko(dir_, "decode in.drk " + output + " --report r.json " + loss_options);
        EXPECT_EQ(r.status, 0) << r.err;
        return ReadText(dir_ / "r.json");
    }
    Pcm input_;
};

// Lengths of the runs of lost packets in a timeline.
std::vector<int> Bursts(const std::string& timeline) {
    std::vector<int> bursts;
    int run = 0;
    for (char c : timeline + ".") {
        if (c != '.') {
            ++run;
        } else if (run) {
            bursts.push_back(run);
            run = 0;
        }
    }
    return bursts;
}

TEST_F(Loss, IsolatedLossesAreRebuiltFromCopiesAndConcealedWithout) {
    WriteText(dir_ / "pattern.txt", "....x....\n.....x...\n");
    for (int copies : {1, 0}) {
        SCOPED_TRACE(copies);
        Encode(100, copies);
        const std::string report = Decode("--loss-pattern pattern.txt");
        // The pattern repeats over the 102 packets: packets 4 and 14 of every 18 are lost.
        int expected = 0;
        for (int k = 0; k < 102; ++k) expected += k % 18 == 4 || k % 18 == 14;
        const double lost = JsonNumber(report, "packets_lost");
        EXPECT_EQ(lost, expected);
        const std::string timeline = JsonString(report, "timeline");
        EXPECT_EQ(std::count(timeline.begin(), timeline.end(), '.'), 102 - lost);
        EXPECT_EQ(JsonNumber(report, "frames_rebuilt"), copies ? lost : 0);
        EXPECT_EQ(JsonNumber(report, "frames_concealed"), copies ? 0 : lost);
        EXPECT_EQ(JsonNumber(report, "frames_muted"), 0);
    }
}

TEST_F(Loss, CopiesOfTheNextPacketCountOnlyWhenItArrives) {
    // Packets 4 and 5 are lost, then 7. After the first gap the decoder holds
    // packet 6, whose copies reach frames 4 and 2; frame 5 needed packet 7's.
    // Packet 8 then brings the copy of frame 7.
    WriteText(dir_ / "pattern.txt", "....xx.x............");
    Encode(38, 2);
    const std::string timeline = JsonString(Decode("--loss-pattern pattern.txt"), "timeline");
    EXPECT_EQ(timeline.substr(0, 20), "....rc.r............");
    EXPECT_EQ(timeline.substr(20, 20), timeline.substr(0, 20));
}

TEST_F(Loss, CopiesKeepQualityThroughBurstsUpToTheirReach) {
    // Bursts of four: two copies (t-2, t-4) plus the next packet's cover them all.
    WriteText(dir_ / "bursts.txt", "xxxx......................");
    Encode(150, 2);
    const std::string with = Decode("--loss-pattern bursts.txt", "with.wav");
    EXPECT_EQ(JsonNumber(with, "frames_concealed"), 0);
    const double snr_with = SnrDb(input_.samples, ReadAudioFile(dir_ / "with.wav").samples);

    Encode(150, 0);
    const std::string without = Decode("--loss-pattern bursts.txt", "without.wav");
    EXPECT_EQ(JsonNumber(without, "frames_rebuilt"), 0);
    const double snr_without = SnrDb(input_.samples, ReadAudioFile(dir_ / "without.wav").samples);
    EXPECT_GT(snr_with, snr_without + 3.0);
}

TEST_F(Loss, BurstyLossHasTheAskedShareAndBurstLength) {
    Encode(3000, 1);  // a minute of packets
    const std::string report = Decode("--loss 10 --burst 3 --seed 11");
    const std::string timeline = JsonString(report, "timeline");
    const std::vector<int> bursts = Bursts(timeline);
    const double lost = JsonNumber(report, "packets_lost");
    EXPECT_NEAR(lost / timeline.size(), 0.10, 0.03);
    ASSERT_FALSE(bursts.empty());
    EXPECT_NEAR(lost / bursts.size(), 3.0, 0.75);

    // Independent loss of the same share: bursts stay short.
    const std::vector<int> random = Bursts(JsonString(Decode("--loss 10 --seed 11"), "timeline"));
    double random_lost = 0;
    for (int b : random) random_lost += b;
    EXPECT_LT(random_lost / random.size(), 1.5);

    // The seed fixes the pattern.
    EXPECT_EQ(JsonString(Decode("--loss 10 --burst 3 --seed 11"), "timeline"), timeline);
    EXPECT_NE(JsonString(Decode("--loss 10 --burst 3 --seed 12"), "timeline"), timeline);
}

TEST_F(Loss, LongGapIsMutedBeyondTheDecodersReachAndLaterAudioStaysAligned) {
    // Packets 50 to 79 lost: the decoder inserts 20 frames, the other 10 are silence.
    std::string pattern(200, '.');
    std::fill(pattern.begin() + 50, pattern.begin() + 80, 'x');
    WriteText(dir_ / "gap.txt", pattern);
    Encode(198, 2);
    const std::string report = Decode("--loss-pattern gap.txt");
    EXPECT_EQ(JsonNumber(report, "packets_lost"), 30);
    EXPECT_EQ(JsonNumber(report, "frames_muted"), 10);
    const std::string timeline = JsonString(report, "timeline");
    EXPECT_EQ(timeline.substr(50, 10), std::string(10, 'm'));
    const Pcm out = ReadAudioFile(dir_ / "out.wav");
    ASSERT_EQ(out.samples.size(), input_.samples.size());
    // A second after the gap, the output matches the input again sample for sample.
    const std::vector<int16_t> tail_in(input_.samples.begin() + 130 * 960, input_.samples.end());
    const std::vector<int16_t> tail_out(out.samples.begin() + 130 * 960, out.samples.end());
    EXPECT_GT(SnrDb(tail_in, tail_out), 10.0);
}

TEST_F(Loss, LossAtTheEndIsMuted) {
    Encode(48, 2);  // 50 packets
    WriteText(dir_ / "end.txt", std::string(45, '.') + "xxxxx");
    const std::string report = Decode("--loss-pattern end.txt");
    EXPECT_EQ(JsonNumber(report, "frames_muted"), 5);
    EXPECT_EQ(ReadAudioFile(dir_ / "out.wav").samples.size(), input_.samples.size());
}

}  // namespace
}  // namespace cli_test
