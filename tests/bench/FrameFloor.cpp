// The least a 100 Hz light stream can cost on this machine (not a test): what the frame
// thread's system calls alone take, without the program around them, so the benchmark's
// figures can be read against it. Against a talyx-vdev collection it runs, each for S
// seconds and each on one thread:
//   - a bare timed wake every 10 ms (an absolute clock_nanosleep, nothing else);
//   - the frame's wire work: at each wake the previous frame's replies are read without
//     waiting, then N 64-byte output reports are written, one system call each, as the
//     frame thread does (N is 7 for a wired frame).
// It prints the CPU time of each as a share of one core (getrusage of the thread).
//
//   frame_floor SOCKET [--seconds S] [--chunks N]
// SOCKET is the vendor collection's socket in the bus folder (…&col04). The reports are
// frame chunks by their command and sizes; their contents do not matter here (the device
// answers each), and the device's own time is not counted.
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr long kPeriodNs = 10'000'000;
constexpr size_t kReportSize = 64;

double threadCpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_THREAD, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

void advance(timespec& t) {
    t.tv_nsec += kPeriodNs;
    if (t.tv_nsec >= 1'000'000'000) {
        t.tv_nsec -= 1'000'000'000;
        ++t.tv_sec;
    }
}

struct Result {
    double cpuShare = 0; // % of one core
    long replies = 0;
};

// fd < 0: only the timed wakes.
Result run(int fd, int chunks, double seconds) {
    unsigned char reports[16][kReportSize] = {};
    for (int k = 0; k < chunks; ++k) {
        const int offset = k * 56;
        unsigned char* r = reports[k];
        r[0] = 4;    // report id
        r[3] = 0x12; // the light frame
        r[4] = 56;
        r[5] = static_cast<unsigned char>(offset & 0xFF);
        r[6] = static_cast<unsigned char>(offset >> 8);
    }
    const long frames = static_cast<long>(seconds * 100);
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    Result result;
    const double before = threadCpuSeconds();
    unsigned char in[256];
    for (long i = 0; i < frames; ++i) {
        advance(t);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
        }
        if (fd < 0)
            continue;
        while (recv(fd, in, sizeof in, MSG_DONTWAIT) > 0)
            ++result.replies;
        for (int k = 0; k < chunks; ++k)
            if (send(fd, reports[k], kReportSize, MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN) {
                std::perror("frame_floor: send");
                std::exit(1);
            }
    }
    result.cpuShare = 100.0 * (threadCpuSeconds() - before) / seconds;
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: frame_floor SOCKET [--seconds S] [--chunks N]\n");
        return 2;
    }
    double seconds = 10;
    int chunks = 7;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (option == "--chunks")
            chunks = std::atoi(argv[i + 1]);
    }
    if (seconds <= 0 || chunks < 1 || chunks > 16) {
        std::fprintf(stderr, "frame_floor: --seconds above 0, --chunks 1 to 16\n");
        return 2;
    }
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
        std::perror("frame_floor: connect");
        return 1;
    }
    unsigned char hello[4096];
    if (recv(fd, hello, sizeof hello, 0) <= 0) {
        std::fprintf(stderr, "frame_floor: no hello from the device\n");
        return 1;
    }
    const Result wake = run(-1, 0, seconds);
    const Result wire = run(fd, chunks, seconds);
    std::printf("timed wake cpu %% %.2f  frame wire cpu %% %.2f  replies/s %.1f\n", wake.cpuShare, wire.cpuShare,
                static_cast<double>(wire.replies) / seconds);
    close(fd);
    return wire.replies > 0 ? 0 : 1;
}
