// Writes the two feedback sounds the inspector service plays after a validation:
//   Valid.wav    two short rising beeps (C6 then G6), bright and friendly
//   Invalid.wav  two low buzzes (a harsh, falling pair), unmistakably different
// Mono, 16-bit PCM at 22050 Hz, each under half a second. Every note fades in and
// out over a few milliseconds so the speaker does not click.
//
// Usage: quellan-gensound FOLDER

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int Rate = 22050;
const double Pi = 3.14159265358979323846;

struct Note {
    double hz;  // 0: silence
    int millis;
    bool harsh;  // odd harmonics added: a buzz rather than a beep
};

void appendNote(std::vector<int16_t>& samples, const Note& note) {
    const int count = Rate * note.millis / 1000;
    const int fade = Rate * 6 / 1000;
    for (int i = 0; i < count; ++i) {
        double value = 0.0;
        if (note.hz > 0.0) {
            const double phase = 2.0 * Pi * note.hz * i / Rate;
            value = std::sin(phase);
            if (note.harsh) {
                value += std::sin(3.0 * phase) / 3.0 + std::sin(5.0 * phase) / 5.0 +
                         std::sin(7.0 * phase) / 7.0;
                value *= 0.8;
            }
            const int edge = std::min(i, count - 1 - i);
            if (edge < fade) {
                value *= static_cast<double>(edge) / fade;
            }
        }
        samples.push_back(static_cast<int16_t>(std::lround(value * 0.7 * 32767.0)));
    }
}

void put16(std::FILE* file, uint16_t value) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(value & 0xff),
                                    static_cast<unsigned char>(value >> 8)};
    std::fwrite(bytes, 1, 2, file);
}

void put32(std::FILE* file, uint32_t value) {
    put16(file, static_cast<uint16_t>(value & 0xffff));
    put16(file, static_cast<uint16_t>(value >> 16));
}

bool writeWave(const std::string& path, const std::vector<Note>& notes) {
    std::vector<int16_t> samples;
    for (const Note& note : notes) {
        appendNote(samples, note);
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        return false;
    }
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::fwrite("RIFF", 1, 4, file);
    put32(file, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, file);
    put32(file, 16);  // format chunk size
    put16(file, 1);   // PCM
    put16(file, 1);   // mono
    put32(file, Rate);
    put32(file, Rate * 2);  // bytes per second
    put16(file, 2);         // bytes per frame
    put16(file, 16);        // bits per sample
    std::fwrite("data", 1, 4, file);
    put32(file, dataBytes);
    for (int16_t sample : samples) {
        put16(file, static_cast<uint16_t>(sample));
    }
    const bool ok = std::fflush(file) == 0 && !std::ferror(file);
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const bool valid = writeWave(folder + "/Valid.wav",
                                 {{1046.5, 90, false}, {0, 30, false}, {1568.0, 160, false}});
    const bool invalid = writeWave(folder + "/Invalid.wav",
                                   {{233.1, 170, true}, {0, 60, false}, {185.0, 240, true}});
    return valid && invalid ? 0 : 1;
}
