// Install throughput: checking the SHA-256 of a model archive and unpacking it, in process,
// against the plain command-line tools (sha256sum, then tar) on the same archive in the same run.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/archive/SafeExtract.h"
#include "platform/crypto/Sha256.h"
#include "testing/ArchiveBuilder.h"

namespace {

namespace fs = std::filesystem;

// A model-like archive: one large incompressible weights file and a small tokenizer.
struct Fixture {
    fs::path dir;
    fs::path archive[2];  // plain tar, tar.gz
    Fixture() {
        dir = fs::temp_directory_path() / ("ovra-install-bench-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::string weights(std::size_t{96} << 20U, '\0');
        std::mt19937_64 random(7);
        for (std::size_t i = 0; i + 8 <= weights.size(); i += 8) {
            const auto v = random();
            std::memcpy(weights.data() + i, &v, 8);
        }
        const std::vector<ovra::testing::TarEntry> entries = {
            ovra::testing::folder("murmlark-ovra--en/"),
            ovra::testing::file("murmlark-ovra--en/OvraClassifier.mlpackage", weights),
            ovra::testing::file("murmlark-ovra--en/tokenizer.json", std::string(2U << 20U, 't'))};
        archive[0] = dir / "model.tar";
        archive[1] = dir / "model.tar.gz";
        ovra::testing::writeTar(archive[0], entries, false);
        ovra::testing::writeTar(archive[1], entries, true);
    }
    ~Fixture() { fs::remove_all(dir); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

fs::path freshOutput() {
    const fs::path out = fixture().dir / "out";
    fs::remove_all(out);
    fs::create_directories(out);
    return out;
}

void InProcessHashAndUnpack(benchmark::State& state) {
    const fs::path& archive = fixture().archive[state.range(0)];
    const auto compression =
        state.range(0) ? ovra::archive::Compression::gzip : ovra::archive::Compression::none;
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path out = freshOutput();
        state.ResumeTiming();
        auto digest = ovra::crypto::sha256OfFile(archive);
        benchmark::DoNotOptimize(digest);
        if (ovra::archive::extract(archive, out, compression))
            state.SkipWithError("unpack failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(archive)));
}

void Sha256sumThenTar(benchmark::State& state) {
    const fs::path& archive = fixture().archive[state.range(0)];
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path out = freshOutput();
        const std::string command = "sha256sum '" + archive.string() + "' >/dev/null && tar -x" +
                                    (state.range(0) ? "z" : "") + "f '" + archive.string() +
                                    "' -C '" + out.string() + "'";
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("sha256sum or tar failed");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(archive)));
}

}  // namespace

// Argument 0: plain tar; 1: tar.gz.
BENCHMARK(InProcessHashAndUnpack)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Sha256sumThenTar)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
