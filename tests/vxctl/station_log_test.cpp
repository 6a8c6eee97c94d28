// The log that stations share, hammered by threads at once: through one
// object, as the stations of one run share it, and through separate opens
// of the file, as separate runs do.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "protocol/commands.h"
#include "vxctl/station_log.h"

namespace vx::ctl {
namespace {

namespace fs = std::filesystem;

constexpr int kThreads = 4;

struct SharingCase {
    std::string name;
    bool openEach;  // each thread opens the file itself
};

void PrintTo(const SharingCase& c, std::ostream* os) {
    *os << c.name;
}

class StationLogSharing : public ::testing::TestWithParam<SharingCase> {
protected:
    void SetUp() override {
        const auto unique = std::chrono::steady_clock::now().time_since_epoch().count();
        path = (fs::temp_directory_path() / ("vx-stations-" + std::to_string(unique) + ".csv"))
                   .string();
    }
    void TearDown() override { fs::remove(path); }

    std::unique_ptr<StationLog> Open() {
        std::optional<Failure> failure;
        auto log = StationLog::Open(path, failure);
        EXPECT_TRUE(log) << (failure ? failure->text : "");
        return log;
    }

    std::string path;
};

TEST_P(StationLogSharing, GivesEveryIdOnceUntilNoneIsLeft) {
    const std::unique_ptr<StationLog> shared = Open();
    ASSERT_TRUE(shared);
    std::vector<std::vector<int>> given(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::unique_ptr<StationLog> own = GetParam().openEach ? Open() : nullptr;
            StationLog& log = own ? *own : *shared;
            std::optional<Failure> failure;
            for (int module = 0;; ++module) {
                const auto id =
                    log.Reserve(std::to_string(t) + "-" + std::to_string(module), 1, failure);
                if (!id || *id == 0)
                    break;
                given[t].push_back(*id);
            }
            EXPECT_FALSE(failure) << failure->text;
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<int> ids;
    for (const auto& list : given) {
        for (const int id : list) EXPECT_TRUE(ids.insert(id).second) << "ID " << id << " twice";
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(protocol::kMaxModuleId));
}

INSTANTIATE_TEST_SUITE_P(Sharing, StationLogSharing,
                         ::testing::Values(SharingCase{"OneObject", false},
                                           SharingCase{"SeparateOpens", true}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vx::ctl
