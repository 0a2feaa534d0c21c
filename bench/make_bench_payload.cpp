// vt-bench-data: writes a deterministic set of files shaped like the
// installer's real payload (80 files: setup files, shared data and textures,
// samples, an uninstaller, language modules, a large program) and the
// manifest that packs them. The content compresses about 3:1 with bzip2, like
// program files and data do, so that decoding costs what it costs in real use.
//
//   vt-bench-data OUTDIR [MEGABYTES]        (default 56 MB)
//   vt-bench-data OUTDIR MEGABYTES large    four large media files of a
//                                           quarter each, for the scale rows

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A small generator with a fixed sequence on every platform.
class xorshift {
public:
    explicit xorshift(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }

private:
    std::uint64_t state_;
};

// Words of a made-up language: text that compresses like real text.
std::vector<std::string> vocabulary(xorshift& rng)
{
    std::vector<std::string> words;
    const char* letters = "etaoinshrdlucmfwypvbgkjqxz";
    for (int i = 0; i < 3000; ++i) {
        std::string word;
        for (unsigned n = 2 + rng.below(5) + rng.below(4); n > 0; --n)
            word += letters[std::min(rng.below(26), rng.below(26))];
        words.push_back(word);
    }
    return words;
}

std::string text_bytes(std::size_t size, xorshift& rng, const std::vector<std::string>& words)
{
    std::string out;
    out.reserve(size + 32);
    while (out.size() < size) {
        // Frequent words are much more frequent, as in real text.
        const unsigned index = std::min(rng.below(3000), std::min(rng.below(3000), rng.below(3000)));
        out += words[index];
        const unsigned p = rng.below(100);
        out += p < 8 ? ", " : p < 14 ? ".\r\n" : " ";
    }
    out.resize(size);
    return out;
}

// Machine code and tables: runs of structured records with random operands.
std::string code_bytes(std::size_t size, xorshift& rng)
{
    // Calls and jumps go to a limited set of places.
    std::vector<std::uint32_t> targets(2048);
    for (auto& t : targets)
        t = static_cast<std::uint32_t>(rng.next());
    static const unsigned char opcodes[][4] = {{0x8B, 0x45}, {0x89, 0x45}, {0xE8, 0x00}, {0x48, 0x8B},
                                               {0x0F, 0x84}, {0xFF, 0x15}, {0x83, 0xC4}, {0x50, 0x51}};
    std::string out;
    out.reserve(size + 16);
    while (out.size() < size) {
        const auto& op = opcodes[std::min(rng.below(8), rng.below(8))];
        out.push_back(static_cast<char>(op[0]));
        out.push_back(static_cast<char>(op[1]));
        const unsigned operand = rng.below(6);
        if (operand == 0) {
            const std::uint32_t v = targets[std::min(rng.below(2048), rng.below(2048))];
            out.append(reinterpret_cast<const char*>(&v), 4); // an address
        } else if (operand <= 2) {
            out.push_back(static_cast<char>(rng.below(16) * 4)); // a small offset
        }
    }
    out.resize(size);
    return out;
}

// Textures: smooth gradients with a little noise.
std::string image_bytes(std::size_t size, xorshift& rng)
{
    std::string out(size, '\0');
    unsigned value = rng.below(256);
    for (std::size_t i = 0; i < size; ++i) {
        if (rng.below(4) == 0)
            value += rng.below(5) - 2;
        out[i] = static_cast<char>((value & 0xFF) ^ (rng.below(8) == 0 ? rng.below(16) : 0));
    }
    return out;
}

struct planned_file {
    const char* kind;
    std::string folder;
    std::string name;
    double share; // of the total size
    char style;   // t text, c code, i image
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4 || (argc == 4 && std::string(argv[3]) != "large")) {
        std::fprintf(stderr, "usage: vt-bench-data OUTDIR [MEGABYTES [large]]\n");
        return 2;
    }
    const fs::path out = argv[1];
    const double megabytes = argc >= 3 ? std::atof(argv[2]) : 56.0;
    const auto total = static_cast<std::size_t>(megabytes * 1024 * 1024);

    std::vector<planned_file> plan;
    if (argc == 4) {
        const char styles[] = {'c', 't', 'i', 'c'};
        for (int i = 0; i < 4; ++i)
            plan.push_back({"sample", "<SamplePath>\\Media", "media" + std::to_string(i) + ".bin", 0.25, styles[i]});
    } else {
        for (int i = 0; i < 6; ++i)
            plan.push_back({"temporary", "<Temporary>", "dxsetup" + std::to_string(i) + ".cab", 0.012, 'c'});
        for (int i = 0; i < 23; ++i)
            plan.push_back({"shared_data", "<CommonData>\\Vantrel Software\\Tablewright 8",
                            "library" + std::to_string(i) + ".xml", 0.004, 't'});
        for (int i = 0; i < 20; ++i)
            plan.push_back({"shared_data", "<CommonData>\\Vantrel Software\\Textures\\Tablewright",
                            "texture" + std::to_string(i) + ".bmp", 0.012, 'i'});
        for (int i = 0; i < 10; ++i)
            plan.push_back({"sample", "<SamplePath>", "Sample project " + std::to_string(i) + ".twp", 0.003, 't'});
        plan.push_back({"uninstaller", "<InstallPath>", "Uninstall.exe", 0.01, 'c'});
        for (int i = 0; i < 19; ++i)
            plan.push_back({"language_module", "<InstallPath>\\Lang", "Lang" + std::to_string(i) + ".dll", 0.012, 't'});
        double used = 0;
        for (const auto& p : plan)
            used += p.share;
        plan.push_back({"program", "<InstallPath>", "Tablewright.exe", 1.0 - used, 'c'});
    }

    xorshift rng(20260806);
    const auto words = vocabulary(rng);
    fs::create_directories(out / "files");
    std::ofstream manifest(out / "manifest.txt", std::ios::binary);
    manifest << "# Benchmark payload written by vt-bench-data: " << plan.size() << " files, about " << megabytes
             << " MB.\n";
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const planned_file& p = plan[i];
        const auto size = static_cast<std::size_t>(p.share * static_cast<double>(total));
        const std::string data = p.style == 't'   ? text_bytes(size, rng, words)
                                 : p.style == 'i' ? image_bytes(size, rng)
                                                  : code_bytes(size, rng);
        const std::string file = "files/" + std::to_string(100 + i) + "-" + p.name;
        std::ofstream(out / file, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
        manifest << p.kind << " | " << p.folder << " | " << file << "\n";
    }
    return manifest ? 0 : 1;
}
