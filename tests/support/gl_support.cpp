// The OpenGL tests' log folder and display fixture.
#include "support/gl_support.h"

#include <cstdlib>
#include <memory>

#include "runtime/core/globals.h"
#include "runtime/gfx2d/display_service.h"
#include "support/test_support.h"

namespace rt_test {
namespace {

class LogFolder : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<TempDir>();
        setenv("TMPDIR", dir_->path().c_str(), 1);
    }
    void TearDown() override { dir_.reset(); }
    static std::string log_path() { return dir_->file("ErrorLog.txt"); }

private:
    static inline std::unique_ptr<TempDir> dir_;
};
const auto* const kLogFolder = ::testing::AddGlobalTestEnvironment(new LogFolder);

}  // namespace

std::string private_log_path() { return LogFolder::log_path(); }

void DisplayServiceTest::SetUp() {
    rt::globals.display = std::make_unique<DuraVUZododivi>();
    display = rt::globals.display.get();
    ASSERT_TRUE(display->display_create(640, 480, 0, 60, 0));
    ASSERT_TRUE(display->display_set_windowed());
}

void DisplayServiceTest::TearDown() { rt::globals.display.reset(); }

}  // namespace rt_test
