// Writes the 26 note samples s01.wav .. s26.wav into the folder given on the command line.

#include "tools/note_synth.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    namespace synth = tonmiro::sound::synth;
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples <output folder>\n");
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    for (int sample = 1; sample <= synth::kSampleCount; ++sample) {
        const auto image = synth::waveImage(synth::synthesize(synth::recipe(sample)));
        char name[16];
        std::snprintf(name, sizeof name, "s%02d.wav", sample);
        std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        if (!file) {
            std::fprintf(stderr, "make_samples: cannot write %s\n", (folder / name).string().c_str());
            return 1;
        }
    }
    return 0;
}
