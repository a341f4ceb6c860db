// Figures for the file layer: pack extraction through the resolver against bare
// lzo1x_decompress_safe on the same stream, and channel reads (file_read_long, file_read_line)
// over 10 MB files. Prints MB/s (1 MB = 10^6 bytes) and the ratio resolver / bare.
#include <lzo/lzo1x.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/file_reader.h"
#include "runtime/files/memory_files.h"
#include "runtime/files/pack.h"
#include "runtime/files/resolver.h"
#include "runtime/platform/os.h"
#include "runtime/runtime.h"

namespace {

template <typename T>
void keep(const T& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

// Best of rounds, in seconds.
template <typename F>
double best_seconds(int rounds, F&& body) {
    double best = 1e300;
    for (int round = 0; round < rounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        body();
        auto end = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(end - start).count());
    }
    return best;
}

double mb_per_s(double bytes, double seconds) { return bytes / seconds / 1e6; }

// Game-like content: structured text and tables with runs of noise; noise_chunks of 16 chunks are
// 256 noise bytes (0: compresses about 4:1, 8: about 1.2:1).
std::vector<uint8_t> asset_bytes(size_t n, uint32_t noise_chunks) {
    std::vector<uint8_t> out;
    out.reserve(n);
    uint32_t seed = 12345;
    while (out.size() < n) {
        seed = seed * 1664525u + 1013904223u;
        if ((seed >> 28) < noise_chunks) {
            for (int i = 0; i < 256 && out.size() < n; ++i) {
                seed = seed * 1664525u + 1013904223u;
                out.push_back(static_cast<uint8_t>(seed >> 24));
            }
        } else {
            std::string line = "tile " + std::to_string((seed >> 8) % 40) + " at " + std::to_string((seed >> 4) % 640) +
                               "," + std::to_string(seed % 480) + " layer " + std::to_string((seed >> 20) % 4) + "\n";
            for (char c : line) {
                if (out.size() < n) out.push_back(static_cast<uint8_t>(c));
            }
        }
    }
    return out;
}

void write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main() {
    std::string dir = rt::platform_temp_dir() + "files_bench_XXXXXX";
    if (!mkdtemp(dir.data())) return 1;

    // ---- pack extraction ----
    const size_t unpacked = 16u << 20;
    struct Case {
        rt::PackLevel level;
        uint32_t noise;
    };
    for (Case c : {Case{rt::PackLevel::kFast, 0}, Case{rt::PackLevel::kBest, 0}, Case{rt::PackLevel::kFast, 1},
                   Case{rt::PackLevel::kFast, 8}}) {
        const rt::PackLevel level = c.level;
        const bool best = level == rt::PackLevel::kBest;
        std::vector<uint8_t> data = asset_bytes(unpacked, c.noise);
        // LZO1X-999 packs slowly: a quarter of the data keeps the set-up short.
        const size_t size = best ? unpacked / 4 : unpacked;
        std::vector<uint8_t> part(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
        std::vector<uint8_t> pack;
        std::string error;
        if (!rt::pack_build({{"assets.bin", part}}, level, pack, error)) {
            std::printf("pack_build failed: %s\n", error.c_str());
            return 1;
        }
        // The pack behind a 1 MB "executable", as a shipped game has it.
        const std::string program = dir + "/program";
        write_bytes(program, std::string(1u << 20, '\x7f') + std::string(pack.begin(), pack.end()));
        const uint8_t* stream = pack.data() + 4;
        const size_t stream_size = pack.size() - 4 - (1 + 10 + 8 + 1 + 7);

        std::unique_ptr<uint8_t[]> out(new uint8_t[size]);
        const double bare = best_seconds(15, [&] {
            lzo_uint produced = size;
            lzo1x_decompress_safe(stream, stream_size, out.get(), &produced, nullptr);
            keep(out);
        });
        const double bare_fresh = best_seconds(15, [&] {
            std::unique_ptr<uint8_t[]> fresh(new uint8_t[size]);
            lzo_uint produced = size;
            lzo1x_decompress_safe(stream, stream_size, fresh.get(), &produced, nullptr);
            keep(fresh);
        });
        PackResolver resolver;
        resolver.set_pack(program.c_str());
        std::string name;
        const double resolved = best_seconds(15, [&] {
            if (!path_resolve(resolver, "Media/ASSETS.BIN", name, true)) std::abort();
            keep(name);
        });
        FileReader check;
        if (!check.open(name.c_str()) || check.size() != static_cast<int32_t>(size)) return 1;
        resolver.release();

        std::printf("pack extraction, %s, %.1f MB unpacked from %.1f MB:\n", best ? "LZO1X-999" : "LZO1X-1",
                    static_cast<double>(size) / 1e6, static_cast<double>(stream_size) / 1e6);
        std::printf("  bare lzo1x_decompress_safe, buffer reused   %8.1f MB/s\n",
                    mb_per_s(static_cast<double>(size), bare));
        std::printf("  bare lzo1x_decompress_safe, fresh buffer    %8.1f MB/s\n",
                    mb_per_s(static_cast<double>(size), bare_fresh));
        std::printf("  path_resolve from the program's pack        %8.1f MB/s   ratio %.3f (reused) %.3f (fresh)\n",
                    mb_per_s(static_cast<double>(size), resolved), bare / resolved, bare_fresh / resolved);
    }

    // ---- channel reads ----
    const size_t ten_mb = 10u * 1000 * 1000;
    {
        std::vector<uint8_t> longs = asset_bytes(ten_mb, 1);
        const std::string path = dir + "/longs.bin";
        write_bytes(path, std::string(longs.begin(), longs.end()));
        int64_t sum = 0;
        // Best of five passes of file_read_long over the whole file, in seconds.
        auto read_all_longs = [&](const std::string& file) {
            return best_seconds(5, [&] {
                file_open(0, RtString(file.c_str()), 1);
                int32_t value = 0;
                while (!file_at_end(0)) {
                    file_read_long(0, value);
                    sum += value;
                }
                file_close(0);
            });
        };
        const double seconds = read_all_longs(path);
        keep(sum);
        std::printf("file_read_long over a 10 MB plain file         %8.1f MB/s (%.1f ns per value)\n",
                    mb_per_s(static_cast<double>(ten_mb), seconds), seconds / (static_cast<double>(ten_mb) / 4) * 1e9);

        // The same bytes as a memory file.
        auto block = std::make_shared<std::vector<uint8_t>>(std::move(longs));
        std::string name = rt::memory_file_register(block, block->data(), static_cast<uint32_t>(block->size()));
        const double memory_seconds = read_all_longs(name);
        keep(sum);
        rt::memory_file_unregister(block->data());
        std::printf("file_read_long over a 10 MB memory file        %8.1f MB/s\n",
                    mb_per_s(static_cast<double>(ten_mb), memory_seconds));
    }
    {
        std::string text;
        for (int i = 0; text.size() < ten_mb; ++i) text += "row " + std::to_string(i) + " of the high score table\r\n";
        text.resize(ten_mb);
        const std::string path = dir + "/lines.txt";
        write_bytes(path, text);
        size_t lines = 0;
        const double seconds = best_seconds(5, [&] {
            file_open(0, RtString(path.c_str()), 1);
            RtString line;
            while (!file_at_end(0)) {
                file_read_line(0, line);
                ++lines;
            }
            file_close(0);
        });
        keep(lines);
        std::printf("file_read_line over a 10 MB text file          %8.1f MB/s\n",
                    mb_per_s(static_cast<double>(ten_mb), seconds));
    }

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
