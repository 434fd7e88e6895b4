// Loads generated download manifests of 1,000 to 100,000 entries and reads every "Name" and
// "Size", with cJson and with nlohmann::json on the same text in the same run. Reports time
// per load and the peak heap a load adds (counted through operator new).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "bench/json/heap_counter.h"
#include "json/cJson.h"

namespace {

// A manifest as the file server publishes it.
const std::string& Manifest(int64_t entries) {
    static std::map<int64_t, std::string> made;
    std::string& text = made[entries];
    if (text.empty()) {
        std::string list;
        uint64_t seed = 12345;
        int64_t total = 0;
        char entry[96];
        for (int64_t i = 0; i < entries; ++i) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            const auto size = static_cast<int64_t>(seed >> 40);
            total += size;
            std::snprintf(entry, sizeof entry, "%s{\"Name\":\"dir/file%06lld.bin\",\"Size\":%lld}",
                          i ? "," : "", static_cast<long long>(i), static_cast<long long>(size));
            list += entry;
        }
        text = "{\"TotalCount\":" + std::to_string(entries) +
               ",\"TotalSize\":" + std::to_string(total) + ",\"FileList\":[" + list +
               "],\"URL\":\"http://127.0.0.1:8080/files/\"}";
    }
    return text;
}

// Heap figures of one load: the highest use above what was in use before it, and the number of
// allocations it made.
class HeapMeter {
public:
    HeapMeter() : before_(bench::HeapInUse()), calls_(bench::HeapAllocations()) {
        bench::ResetHeapPeak();
    }
    size_t Peak() const { return bench::HeapPeak() - before_; }
    size_t Allocations() const { return bench::HeapAllocations() - calls_; }

private:
    size_t before_;
    size_t calls_;
};

void Report(benchmark::State& state, size_t peak, size_t allocations, size_t textSize) {
    state.counters["peak_heap_MiB"] = static_cast<double>(peak) / (1 << 20);
    state.counters["allocations"] = static_cast<double>(allocations);
    state.counters["text_MiB"] = static_cast<double>(textSize) / (1 << 20);
}

void LoadWithCJson(benchmark::State& state) {
    const std::string& text = Manifest(state.range(0));
    size_t peak = 0;
    size_t allocations = 0;
    for (auto _ : state) {
        HeapMeter meter;
        {
            cJson document;
            document.Parse(text.c_str());
            const int count = document.root->Find("TotalCount")->GetInt();
            cJson::Node* list = document.root->Find("FileList");
            int64_t sizes = 0;
            size_t names = 0;
            for (int i = 0; i < count; ++i) {
                cJson::Node* entry = list->GetNode(i);
                names += std::strlen(entry->GetNode("Name")->GetString());
                sizes += entry->GetNode("Size")->GetInt64();
            }
            benchmark::DoNotOptimize(sizes);
            benchmark::DoNotOptimize(names);
            peak = std::max(peak, meter.Peak());
            allocations = meter.Allocations();
        }
    }
    Report(state, peak, allocations, text.size());
}

void LoadWithNlohmann(benchmark::State& state) {
    const std::string& text = Manifest(state.range(0));
    size_t peak = 0;
    size_t allocations = 0;
    for (auto _ : state) {
        HeapMeter meter;
        {
            const nlohmann::json document = nlohmann::json::parse(text);
            const int count = document.at("TotalCount").get<int>();
            const nlohmann::json& list = document.at("FileList");
            int64_t sizes = 0;
            size_t names = 0;
            for (int i = 0; i < count; ++i) {
                const nlohmann::json& entry = list[static_cast<size_t>(i)];
                names += entry.at("Name").get_ref<const std::string&>().size();
                sizes += entry.at("Size").get<int64_t>();
            }
            benchmark::DoNotOptimize(sizes);
            benchmark::DoNotOptimize(names);
            peak = std::max(peak, meter.Peak());
            allocations = meter.Allocations();
        }
    }
    Report(state, peak, allocations, text.size());
}

BENCHMARK(LoadWithCJson)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadWithNlohmann)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
