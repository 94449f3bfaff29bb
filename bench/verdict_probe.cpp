// Times the passenger's verdict on the board: from a scan result published on the
// broker, as the validator service publishes it, to the first frame in the
// framebuffer that shows the verdict's page. Run as root on the board beside the
// program under test (the service, or bench/floor_verdict):
//
//   verdict_probe [-H host] [-P port] [-t topic] [-f /dev/fb0] [-n count] [-y rows]
//                 [-m pixels] [-d] NAME=PAYLOAD_FILE:RRGGBB...
//
// Each round takes the next kind in turn: it waits for the idle screen (fewer than
// `pixels` pixels of the kind's colour on the sample rows), a moment more so that the
// round does not start in step with a timer of the program, then takes the monotonic
// clock, publishes the payload and reads the sample rows of the framebuffer every
// 0.5 ms until at least `pixels` of them have the verdict page's colour (the colour
// of its symbol). One line per round on standard output:
//   verdict kind=NAME publish_us=T0 shown_us=T1 ms=X     (T1 0 and no ms: not shown in 10 s)
// With -d it only prints, per kind, the pixels of its colour on the sample rows now.
// Plain C++ on libmosquitto and the kernel's framebuffer device.
#include <fcntl.h>
#include <linux/fb.h>
#include <mosquitto.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

long long nowUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void sleepUs(long us) {
    timespec ts{us / 1000000, (us % 1000000) * 1000};
    nanosleep(&ts, nullptr);
}

struct Kind {
    std::string name;
    std::string payload;
    int rgb[3];
};

// The framebuffer as mapped memory, its pixels read through the format the kernel
// reports (any bit depth of 16 or 32 with its own channel offsets).
class Framebuffer {
public:
    bool open(const char* path) {
        const int fd = ::open(path, O_RDONLY);
        if (fd < 0 || ioctl(fd, FBIOGET_VSCREENINFO, &m_var) != 0 ||
            ioctl(fd, FBIOGET_FSCREENINFO, &m_fix) != 0) {
            return false;
        }
        m_size = m_fix.line_length * m_var.yres_virtual;
        void* map = mmap(nullptr, m_size, PROT_READ, MAP_SHARED, fd, 0);
        ::close(fd);
        if (map == MAP_FAILED) {
            return false;
        }
        m_base = static_cast<const uint8_t*>(map);
        return m_var.bits_per_pixel == 16 || m_var.bits_per_pixel == 32;
    }

    int width() const { return static_cast<int>(m_var.xres); }

    // Pixels on the rows within `tolerance` (sum over the channels) of the colour.
    int count(const std::vector<int>& rows, const int rgb[3], int tolerance) const {
        int n = 0;
        const int bytes = static_cast<int>(m_var.bits_per_pixel / 8);
        for (int y : rows) {
            const uint8_t* line =
                m_base +
                static_cast<size_t>(y + static_cast<int>(m_var.yoffset)) * m_fix.line_length;
            for (int x = 0; x < width(); ++x) {
                uint32_t v = 0;
                std::memcpy(&v, line + x * bytes, bytes);
                const int c[3] = {channel(v, m_var.red), channel(v, m_var.green),
                                  channel(v, m_var.blue)};
                if (std::abs(c[0] - rgb[0]) + std::abs(c[1] - rgb[1]) + std::abs(c[2] - rgb[2]) <=
                    tolerance) {
                    ++n;
                }
            }
        }
        return n;
    }

private:
    static int channel(uint32_t v, const fb_bitfield& f) {
        const uint32_t value = (v >> f.offset) & ((1u << f.length) - 1);
        return static_cast<int>(value * 255 / ((1u << f.length) - 1));
    }

    fb_var_screeninfo m_var{};
    fb_fix_screeninfo m_fix{};
    size_t m_size = 0;
    const uint8_t* m_base = nullptr;
};

bool parseKind(const std::string& arg, Kind& kind) {
    const size_t eq = arg.find('='), colon = arg.rfind(':');
    if (eq == std::string::npos || colon == std::string::npos || colon < eq) {
        return false;
    }
    kind.name = arg.substr(0, eq);
    std::ifstream file(arg.substr(eq + 1, colon - eq - 1));
    std::stringstream text;
    text << file.rdbuf();
    kind.payload = text.str();
    const unsigned long rgb = std::strtoul(arg.substr(colon + 1).c_str(), nullptr, 16);
    kind.rgb[0] = static_cast<int>((rgb >> 16) & 0xff);
    kind.rgb[1] = static_cast<int>((rgb >> 8) & 0xff);
    kind.rgb[2] = static_cast<int>(rgb & 0xff);
    return file.good() || !kind.payload.empty();
}

}  // namespace

int main(int argc, char** argv) {
    std::string host = "localhost", topic = "zorv/blm/barcode/scanned", device = "/dev/fb0";
    int port = 1883, rounds = 60, least = 20;
    std::vector<int> rows{220, 245, 270};
    std::vector<Kind> kinds;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "-H") {
            host = value;
        } else if (arg == "-P") {
            port = std::atoi(value);
        } else if (arg == "-t") {
            topic = value;
        } else if (arg == "-f") {
            device = value;
        } else if (arg == "-n") {
            rounds = std::atoi(value);
        } else if (arg == "-d") {
            rounds = 0;  // only the counts the screen shows now
            continue;
        } else if (arg == "-m") {
            least = std::atoi(value);
        } else if (arg == "-y") {
            rows.clear();
            std::stringstream list(value);
            for (std::string row; std::getline(list, row, ',');) {
                rows.push_back(std::atoi(row.c_str()));
            }
        } else {
            Kind kind;
            if (!parseKind(arg, kind)) {
                std::fprintf(stderr, "verdict_probe: not NAME=PAYLOAD_FILE:RRGGBB: %s\n", argv[i]);
                return 2;
            }
            kinds.push_back(kind);
            continue;
        }
        ++i;
    }
    constexpr int kTolerance = 40;
    Framebuffer fb;
    if (kinds.empty() || !fb.open(device.c_str())) {
        std::fprintf(stderr, "verdict_probe: no kinds given, or no framebuffer at %s\n",
                     device.c_str());
        return 2;
    }
    if (rounds == 0) {
        for (const Kind& kind : kinds) {
            std::printf("%s %d\n", kind.name.c_str(), fb.count(rows, kind.rgb, kTolerance));
        }
        return 0;
    }
    mosquitto_lib_init();
    mosquitto* mosq = mosquitto_new(nullptr, true, nullptr);
    if (mosquitto_connect(mosq, host.c_str(), port, 60) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "verdict_probe: no broker at %s:%d\n", host.c_str(), port);
        return 1;
    }
    std::mt19937 random(12345);
    int missed = 0;
    for (int round = 0; round < rounds; ++round) {
        const Kind& kind = kinds[round % kinds.size()];
        // The idle screen back: no verdict's colour for 0.5 s, 20 s at most.
        const long long waitEnd = nowUs() + 20000000;
        long long calmSince = nowUs();
        while (nowUs() < waitEnd && nowUs() - calmSince < 500000) {
            bool calm = true;
            for (const Kind& k : kinds) {
                calm = calm && fb.count(rows, k.rgb, kTolerance) < least;
            }
            if (!calm) {
                calmSince = nowUs();
            }
            mosquitto_loop(mosq, 10, 1);  // keep-alive while waiting
        }
        if (nowUs() - calmSince < 500000) {
            std::fprintf(stderr, "verdict_probe: the screen shows a verdict's colour for 20 s:");
            for (const Kind& k : kinds) {
                std::fprintf(stderr, " %s %d", k.name.c_str(), fb.count(rows, k.rgb, kTolerance));
            }
            std::fprintf(stderr, "\n");
            return 1;
        }
        sleepUs(std::uniform_int_distribution<long>(0, 700000)(random));
        const long long t0 = nowUs();
        // Not threaded: the library writes the packet before it returns.
        mosquitto_publish(mosq, nullptr, topic.c_str(), static_cast<int>(kind.payload.size()),
                          kind.payload.data(), 0, false);
        long long t1 = 0;
        while (nowUs() - t0 < 10000000) {
            if (fb.count(rows, kind.rgb, kTolerance) >= least) {
                t1 = nowUs();
                break;
            }
            sleepUs(500);
        }
        missed += t1 == 0;
        std::printf("verdict kind=%s publish_us=%lld shown_us=%lld", kind.name.c_str(), t0, t1);
        if (t1 != 0) {
            std::printf(" ms=%.1f", (t1 - t0) / 1000.0);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    mosquitto_disconnect(mosq);
    mosquitto_destroy(mosq);
    mosquitto_lib_cleanup();
    return missed == 0 ? 0 : 1;
}
