// Queueing speed through the store call the compose tab and vmsms-send share.
#include "platform/clock.h"
#include "platform/gbk.h"
#include "queue/enqueue.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// A fresh working directory per benchmark, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vmsms-bench-XXXXXX").string();
        dir_ = ::mkdtemp(tmpl.data());
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    ~ScratchDir() {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }

private:
    std::filesystem::path dir_;
    std::filesystem::path old_;
};

void BM_EnqueueChinese(benchmark::State& state) {
    ScratchDir dir;
    const std::string content = gbk("尊敬的客户，您好！本周六全场商品八折优惠，欢迎光临。");
    for (auto _ : state) {
        EnqueueResult r = enqueue_message("13900000001\r\n13900000002", content, false, real_clock());
        benchmark::DoNotOptimize(r.record);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EnqueueChinese)->Unit(benchmark::kMicrosecond);

void BM_EnqueueEnglish(benchmark::State& state) {
    ScratchDir dir;
    const std::string content(142, 'x');
    for (auto _ : state) {
        EnqueueResult r = enqueue_message("13566668888-13577779999", content, true, real_clock());
        benchmark::DoNotOptimize(r.record);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EnqueueEnglish)->Unit(benchmark::kMicrosecond);

} // namespace
