#include "platform/SoundOutput.h"
#include "platform/Tone.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <future>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

using platform::Pcm;

namespace {

TEST(Tone, HasItsLengthPitchAndLevelAndStartsAndEndsSilent)
{
    const struct
    {
        double hertz;
        int ms;
        int rate;
        double level;
    } rows[] = {
        {880, 90, 48000, 0.5},
        {1320, 70, 48000, 0.5},
        {440, 200, 44100, 1.0},
        {1000, 10, 8000, 0.25},
        {1000, 100, 48000, 2.0}, // clamped to full scale, never wrapped
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.hertz);
        const Pcm pcm = platform::tonePcm(row.hertz, row.ms, row.rate, row.level);
        ASSERT_EQ(pcm.size(), std::size_t(row.rate * row.ms / 1000));
        EXPECT_EQ(pcm.front(), 0);
        EXPECT_EQ(pcm.back(), 0);
        // Sign changes: two per period.
        int crossings = 0;
        for (std::size_t i = 1; i < pcm.size(); ++i)
            crossings += (pcm[i - 1] < 0) != (pcm[i] < 0);
        const double expected = 2 * row.hertz * row.ms / 1000;
        EXPECT_NEAR(crossings, expected, 2);
        const int peak = std::abs(int(*std::max_element(
            pcm.begin(), pcm.end(), [](auto a, auto b) { return std::abs(a) < std::abs(b); })));
        EXPECT_NEAR(peak, std::min(row.level, 1.0) * 32767, 0.02 * 32767);
    }
    Pcm pcm = platform::tonePcm(1000, 10, 48000);
    platform::appendSilence(pcm, 5, 48000);
    EXPECT_EQ(pcm.size(), 480u + 240u);
    EXPECT_TRUE(std::all_of(pcm.begin() + 480, pcm.end(), [](auto s) { return s == 0; }));
    EXPECT_TRUE(platform::tonePcm(1000, 0, 48000).empty());
}

// A device that records what it played and can be held inside play() by the test.
struct Recorder
{
    std::mutex mutex;
    std::vector<Pcm> played;
    int opened = 0;
    std::promise<void> entered;
    std::shared_future<void> release;
    bool holdFirst = false;
};

class RecordingDevice : public platform::PcmDevice
{
public:
    explicit RecordingDevice(Recorder &r) : m_r(r) {}
    void play(const Pcm &samples) override
    {
        bool hold = false;
        {
            const std::lock_guard lock(m_r.mutex);
            hold = m_r.holdFirst && m_r.played.empty();
            m_r.played.push_back(samples);
        }
        if (hold) {
            m_r.entered.set_value();
            m_r.release.wait();
        }
    }

private:
    Recorder &m_r;
};

platform::PcmDeviceOpener opener(Recorder &r)
{
    return [&r](int) {
        ++r.opened;
        return std::make_unique<RecordingDevice>(r);
    };
}

std::shared_ptr<const Pcm> sound(std::int16_t marker)
{
    return std::make_shared<const Pcm>(Pcm{marker, marker});
}

TEST(SoundOutput, PlayOnlyQueuesWhileTheDeviceIsBusyAndDropsTheOldestBeyondTwo)
{
    Recorder r;
    r.holdFirst = true;
    std::promise<void> release;
    r.release = release.get_future().share();
    platform::SoundOutput output(48000, opener(r));
    EXPECT_FALSE(output.deviceFound().has_value());

    output.play(sound(1));
    // The device is now stuck inside play(); further sounds must still come back at once.
    r.entered.get_future().wait();
    for (std::int16_t marker = 2; marker <= 5; ++marker)
        output.play(sound(marker));
    release.set_value();
    output.waitIdle();

    std::vector<std::int16_t> markers;
    for (const Pcm &pcm : r.played)
        markers.push_back(pcm.front());
    EXPECT_EQ(markers, (std::vector<std::int16_t>{1, 4, 5}));
    EXPECT_EQ(r.opened, 1);
    EXPECT_EQ(output.deviceFound(), true);
    EXPECT_EQ(output.played(), 3);
}

TEST(SoundOutput, WithoutADeviceNothingIsPlayedAndTheDeviceIsLookedForOnce)
{
    int opened = 0;
    platform::SoundOutput output(48000, [&opened](int) -> std::unique_ptr<platform::PcmDevice> {
        ++opened;
        return nullptr;
    });
    for (int i = 0; i < 5; ++i) {
        output.play(sound(1));
        output.waitIdle();
    }
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(output.deviceFound(), false);
    EXPECT_EQ(output.played(), 0);
    // Empty sounds are no sounds.
    output.play(std::make_shared<const Pcm>());
    output.play(nullptr);
}

TEST(SoundOutput, NoSoundCardIsSilentOnTheRealLibrary)
{
    if (QFileInfo::exists(QStringLiteral("/dev/snd")))
        GTEST_SKIP() << "this machine has a sound device";
    // Whatever ALSA would say about the missing card must not reach the terminal.
    QTemporaryFile capture;
    ASSERT_TRUE(capture.open());
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(capture.handle(), STDERR_FILENO);
    {
        platform::SoundOutput output;
        output.play(std::make_shared<const Pcm>(platform::tonePcm(880, 90, output.rate())));
        output.waitIdle();
        EXPECT_EQ(output.deviceFound(), false);
    }
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    EXPECT_EQ(capture.readAll(), QByteArray());
}

TEST(SoundOutput, EndsWithSoundsStillQueued)
{
    Recorder r;
    r.holdFirst = true;
    std::promise<void> release;
    r.release = release.get_future().share();
    auto output = std::make_unique<platform::SoundOutput>(48000, opener(r));
    output->play(sound(1));
    r.entered.get_future().wait();
    output->play(sound(2));
    release.set_value();
    output.reset();
    EXPECT_LE(r.played.size(), 2u);
}

// Run by the test below in a child, with the stub library in the real one's place: plays a
// tone and ends at SIGTERM, as the program does.
TEST(SoundOutputChild, PlaysUntilTerminated)
{
    if (qEnvironmentVariableIsEmpty("TF_STUB_ALSA"))
        GTEST_SKIP() << "the child of SoundOutput.AMisbehavingLibraryNeitherSpinsNorDelaysTheEnd";
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    // Before the worker starts, so that only this thread takes the signal.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    {
        platform::SoundOutput output;
        output.play(std::make_shared<const Pcm>(platform::tonePcm(880, 90, output.rate())));
        std::puts("playing");
        std::fflush(stdout);
        int signal = 0;
        sigwait(&set, &signal);
        // The stub took the real library's place: its device opened.
        if (output.deviceFound() == true)
            std::puts("device");
    }
    std::puts("ended");
    std::fflush(stdout);
}

// CPU time of a process so far, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
           double(::sysconf(_SC_CLK_TCK));
}

// A library whose writes take nothing, or whose open never returns: the tone is dropped
// without spinning, and the end comes within 2 s of SIGTERM.
TEST(SoundOutput, AMisbehavingLibraryNeitherSpinsNorDelaysTheEnd)
{
    for (const char *mode : {"zero", "block"}) {
        SCOPED_TRACE(mode);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TF_STUB_ALSA", mode);
        env.insert("LD_LIBRARY_PATH", TF_STUB_ASOUND_DIR);
        child.setProcessEnvironment(env);
        child.start(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                    {"--gtest_filter=SoundOutputChild.PlaysUntilTerminated"});
        ASSERT_TRUE(child.waitForStarted());
        QByteArray out;
        for (int i = 0; i < 300 && !out.contains("playing"); ++i) {
            child.waitForReadyRead(100);
            out += child.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains("playing")) << out.constData();
        const double before = cpuSeconds(child.processId());
        QThread::msleep(1000);
        const double busy = cpuSeconds(child.processId()) - before;
        EXPECT_LT(busy, 0.3) << "the sound worker spins";
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(child.processId()), SIGTERM);
        ASSERT_TRUE(child.waitForFinished(10000));
        EXPECT_LT(clock.elapsed(), 2000);
        out += child.readAllStandardOutput();
        EXPECT_TRUE(out.contains("ended")) << out.constData();
        EXPECT_EQ(out.contains("device"), mode == std::string("zero")) << out.constData();
        EXPECT_EQ(child.exitCode(), 0);
    }
}

} // namespace
