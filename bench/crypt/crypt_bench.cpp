// Decryption speed: the primitives on a memory buffer (AES counter mode on the portable
// code and on the processor's instructions, HMAC-SHA1), then the whole road — mivo-zip test
// against 7z t on the same archive, one 200 MB AES-256 stored entry made by 7z. Prints
// figures and the ratio; decides nothing.
//
// usage: crypt_bench [WORK-FOLDER] [MEGABYTES]   (default: a temporary folder, 200)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "zip/crypto/aes.h"
#include "zip/crypto/hmac_sha1.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Best of three, so that a neighbour's burst on a shared machine counts less.
template <typename F>
double Best(F&& run) {
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        auto start = Clock::now();
        run();
        double elapsed = Seconds(start);
        best = elapsed < best ? elapsed : best;
    }
    return best;
}

void Primitives() {
    std::vector<uint8_t> data(64u << 20);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 131);
    }
    const double megabytes = static_cast<double>(data.size()) / 1e6;
    uint8_t key[32] = {1, 2, 3};
    using Path = zipcrypto::CAes::Path;
    const std::pair<Path, const char*> paths[] = {
        {Path::kPortable, "portable"}, {Path::kAesNi, "AES-NI"}, {Path::kVaes, "VAES"}};
    for (const auto& [path, name] : paths) {
        zipcrypto::CAesCounterMode ctr;
        ctr.SetKey(key, sizeof key);
        if (!ctr.Cipher().UsePath(path)) {
            std::printf("AES-256 counter mode, %s: not available\n", name);
            continue;
        }
        double t = Best([&] {
            for (size_t off = 0; off < data.size(); off += 65536) {
                ctr.Process(data.data() + off, 65536);
            }
        });
        std::printf("AES-256 counter mode, %s: %.0f MB/s\n", name, megabytes / t);
    }
    zipcrypto::CHmacSha1 hmac;
    hmac.SetKey(key, 32);
    uint8_t mac[20];
    double t = Best([&] {
        hmac.Update(data.data(), data.size());
        hmac.Final(mac);
    });
    std::printf("HMAC-SHA1: %.0f MB/s\n", megabytes / t);
}

int Run(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    Primitives();

    fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "mivo-crypt-bench";
    size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200;
    fs::create_directories(folder);
    fs::path data = folder / "big.bin";
    fs::path archive = folder / "big-aes256.zip";
    std::string password = "bench-password";
    if (!fs::exists(archive)) {
        std::ofstream out(data, std::ios::binary);
        std::mt19937_64 random(7);
        std::vector<uint64_t> block(1 << 17);
        for (size_t written = 0; written < megabytes * 1000000; written += block.size() * 8) {
            for (auto& word : block) {
                word = random();
            }
            size_t bytes = std::min(block.size() * 8, megabytes * 1000000 - written);
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(bytes));
        }
        out.close();
        if (Run("cd '" + folder.string() + "' && 7z a -tzip -mem=AES256 -mm=Copy -p" + password +
                " big-aes256.zip big.bin >/dev/null") != 0) {
            std::fprintf(stderr, "crypt_bench: 7z could not make the archive\n");
            return 1;
        }
        fs::remove(data);
    }
    // Warm the page cache so that both readers start from memory.
    Run("cat '" + archive.string() + "' >/dev/null");
    std::string ours = std::string(MIVO_ZIP_TOOL) + " test --password " + password + " '" +
                       archive.string() + "' >/dev/null";
    std::string theirs = "7z t -p" + password + " '" + archive.string() + "' >/dev/null";
    int ourStatus = 0;
    int theirStatus = 0;
    double ourTime = Best([&] { ourStatus = Run(ours); });
    double theirTime = Best([&] { theirStatus = Run(theirs); });
    double size = static_cast<double>(fs::file_size(archive)) / 1e6;
    std::printf("archive: %s (%.0f MB, one AES-256 stored entry, made by 7z)\n",
                archive.string().c_str(), size);
    std::printf("mivo-zip test: %.3f s (%.0f MB/s)%s\n", ourTime, size / ourTime,
                ourStatus == 0 ? "" : "  FAILED");
    std::printf("7z t:          %.3f s (%.0f MB/s)%s\n", theirTime, size / theirTime,
                theirStatus == 0 ? "" : "  FAILED");
    std::printf("ratio mivo-zip / 7z: %.2f (below 1 is faster than 7z)\n", ourTime / theirTime);
    return 0;
}
