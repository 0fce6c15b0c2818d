// Micro-benchmarks: the digest engine, the parser, and a whole run on generated images.
#include <benchmark/benchmark.h>

#include <map>
#include <vector>

#include "app/driver.h"
#include "bench_images.h"
#include "image/load_image.h"
#include "image/loaded_image.h"
#include "image/sha256.h"
#include "image/sha256_blocks.h"
#include "image/table_sink.h"
#include "testing/fake_platform.h"

namespace {

using tarvel::testing::Bytes;

void set_bytes(benchmark::State& state, std::size_t per_iteration) {
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(per_iteration));
}

const Bytes& random_bytes() {
  static const Bytes bytes = [] {
    Bytes out(64 << 20);
    std::uint32_t state = 12345;
    for (auto& byte : out) {
      state = state * 1103515245 + 12345;
      byte = static_cast<std::uint8_t>(state >> 24);
    }
    return out;
  }();
  return bytes;
}

void BM_Sha256Engine(benchmark::State& state) {
  const Bytes& data = random_bytes();
  for (auto _ : state) {
    tarvel::Sha256 sha;
    sha.update(data);
    tarvel::Sha256Digest digest = sha.finish();
    benchmark::DoNotOptimize(digest);
  }
  set_bytes(state, data.size());
}
BENCHMARK(BM_Sha256Engine)->Unit(benchmark::kMillisecond);

void BM_Sha256PortableBlocks(benchmark::State& state) {
  const Bytes& data = random_bytes();
  std::array<std::uint32_t, 8> hash{};
  for (auto _ : state) {
    tarvel::detail::sha256_compress_portable(hash, data.data(), data.size() / 64);
    benchmark::DoNotOptimize(hash);
  }
  set_bytes(state, data.size());
}
BENCHMARK(BM_Sha256PortableBlocks)->Unit(benchmark::kMillisecond);

const std::pair<Bytes, Bytes>& images(std::size_t entries) {
  static std::map<std::size_t, std::pair<Bytes, Bytes>> cache;
  auto found = cache.find(entries);
  if (found == cache.end()) {
    tarvel::bench::BenchImageOptions options;
    options.entries = entries;
    options.hosts_lines = 10000;
    options.applications = 10000;
    found = cache.emplace(entries, tarvel::bench::make_bench_images(options)).first;
  }
  return found->second;
}

// Reading one image into its tables, with the digest on a second thread (argument 1) or inline.
void BM_LoadImage(benchmark::State& state) {
  const Bytes& data = images(static_cast<std::size_t>(state.range(0))).second;
  tarvel::WindowBuffers windows;
  tarvel::ImageLoader loader(windows, {state.range(1) != 0});
  tarvel::testing::FakeFile file;
  file.bytes = data;
  for (auto _ : state) {
    tarvel::LoadedImage image;
    tarvel::TableSink sink(image);
    const tarvel::OpenedFile opened = tarvel::testing::open_fake_file(file);
    if (!loader.load(*opened.file, sink).ok()) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(image.entries.size());
  }
  set_bytes(state, data.size());
}
BENCHMARK(BM_LoadImage)->Args({100000, 0})->Args({100000, 1})->Unit(benchmark::kMillisecond);

// Everything a run does after reading the files: parse, compare, print (into nothing).
void BM_WholeRun(benchmark::State& state) {
  const auto& [old_image, new_image] = images(static_cast<std::size_t>(state.range(0)));
  tarvel::testing::FakePlatform platform;
  platform.add_file("old", old_image);
  platform.add_file("new", new_image);
  const std::vector<std::filesystem::path> arguments = {"tarvel", "old", "new"};
  for (auto _ : state) {
    benchmark::DoNotOptimize(tarvel::run(arguments, platform));
  }
  set_bytes(state, old_image.size() + new_image.size());
}
BENCHMARK(BM_WholeRun)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
