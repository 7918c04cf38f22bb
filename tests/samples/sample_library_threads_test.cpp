// Run under ThreadSanitizer (label "threads"): the library is built once
// while other threads race for it, and read by many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "modules/sample_store.h"
#include "modules/sample_store_entry.h"
#include "tests/samples/sample_file_builder.h"

using namespace test_files;

namespace {

constexpr int kThreads = 6;

std::map<std::string, Bytes>& threadTestResources() {
    static std::map<std::string, Bytes> resources = [] {
        std::map<std::string, Bytes> r;
        std::string index;
        for (int i = 0; i < 8; ++i) {
            WavFormatFields f;
            f.channels = (i & 1) ? 2 : 1;
            f.blockAlign = static_cast<uint16_t>(2 * f.channels);
            Bytes data;
            for (int n = 0; n < 64; ++n) putLe16(data, static_cast<uint16_t>(i * 100 + n));
            Bytes file = wavFile(f, data);
            std::string key = "S" + std::to_string(i) + ".wav";
            r[key] = sample_store::packEntry(sample_store::kMarkerWav, file.data(), file.size());
            index += key + "\n";
        }
        r[sample_store::kIndexResourceName] = Bytes(index.begin(), index.end());
        return r;
    }();
    return resources;
}

bool threadTestLookup(const char*, const char* name, platform::ResourceData& out) {
    auto& r = threadTestResources();
    auto it = r.find(name);
    if (it == r.end()) return false;
    out.data = it->second.data();
    out.size = it->second.size();
    return true;
}

// Built on first use, like SampleLibrary::shared(), from whichever thread
// gets there first.
const SampleLibrary& lazyTestLibrary() {
    static const SampleLibrary library(&threadTestLookup);
    return library;
}

}  // namespace

TEST(SampleLibraryThreads, FirstUseRacesBuildOneLibrary) {
    threadTestResources();
    std::atomic<bool> go{false};
    std::vector<const SampleLibrary*> seen(kThreads, nullptr);
    std::vector<const DecodedSample*> firstSample(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load(std::memory_order_acquire)) std::this_thread::yield();
            const SampleLibrary& library = lazyTestLibrary();
            seen[static_cast<size_t>(t)] = &library;
            firstSample[static_cast<size_t>(t)] = library.find("s3.WAV", SampleChannels::MonoMix).get();
        });
    }
    go.store(true, std::memory_order_release);
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(seen[static_cast<size_t>(t)], seen[0]);
        EXPECT_EQ(firstSample[static_cast<size_t>(t)], firstSample[0]);
    }
    ASSERT_NE(firstSample[0], nullptr);
    EXPECT_FALSE(firstSample[0]->stereo);
    EXPECT_EQ(firstSample[0]->samples[0], 300);  // mean of 300 and 301, integer
}

TEST(SampleLibraryThreads, SharedLibraryRacesToOneObject) {
    std::atomic<bool> go{false};
    std::vector<const SampleLibrary*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load(std::memory_order_acquire)) std::this_thread::yield();
            const SampleLibrary& library = SampleLibrary::shared();
            seen[static_cast<size_t>(t)] = &library;
            library.find("Kick.wav", SampleChannels::MonoMix);
        });
    }
    go.store(true, std::memory_order_release);
    for (auto& th : threads) th.join();
    for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[static_cast<size_t>(t)], seen[0]);
}

TEST(SampleLibraryThreads, ManyReadersTakeAndDropReferencesTogether) {
    const SampleLibrary& library = lazyTestLibrary();
    ASSERT_EQ(library.size(), 8u);
    std::atomic<long> found{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::shared_ptr<const DecodedSample> held;
            long local = 0;
            for (int i = 0; i < 2000; ++i) {
                std::string name = "S" + std::to_string((i + t) % 10) + ".wav";
                held = library.find(name.c_str(), (i & 1) ? SampleChannels::MonoMix : SampleChannels::AsStored);
                if (held) local += held->samples[0] >= 0 ? 1 : 0;
            }
            found.fetch_add(local, std::memory_order_relaxed);
        });
    }
    for (auto& th : threads) th.join();
    // Names S8 and S9 do not exist: 8 of every 10 lookups hit.
    EXPECT_EQ(found.load(), kThreads * 2000L * 8 / 10);
}
