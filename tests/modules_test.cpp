// Outside modules: loading once by lower-cased name, function lookup, the missing-module notice
// and release at shut-down, against the system's maths library.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/files/file_service.h"
#include "runtime/platform/os.h"
#include "runtime/runtime.h"
#include "support/test_support.h"

namespace {

using MathFunction = double (*)(double);

using rt_test::DebugCapture;

class Modules : public ::testing::Test {
protected:
    void SetUp() override { rt::module_table_release(); }
    void TearDown() override { rt::module_table_release(); }
    const rt::ModuleTable& table() const { return rt::file_service().modules_; }
};

// Full path of the maths library this process already uses.
std::string libm_path() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(static_cast<MathFunction>(std::cos)), &info) == 0 || !info.dli_fname) return "";
    return info.dli_fname;
}

TEST_F(Modules, LoadsOnceByLowerCasedName) {
    RtString upper("LIBM.so.6");
    void* cos_address = nullptr;
    module_function_resolve(upper, "cos", cos_address);
    EXPECT_STREQ(upper.c_str(), "libm.so.6");  // the caller's text is lower-cased
    ASSERT_NE(cos_address, nullptr);
    EXPECT_EQ(reinterpret_cast<MathFunction>(cos_address)(0.0), 1.0);

    RtString lower("libm.so.6");
    void* sqrt_address = nullptr;
    module_function_resolve(lower, "sqrt", sqrt_address);
    ASSERT_NE(sqrt_address, nullptr);
    EXPECT_EQ(reinterpret_cast<MathFunction>(sqrt_address)(16.0), 4.0);
    EXPECT_EQ(table().handles_.size(), 1u);
    ASSERT_EQ(table().names_.size(), 1u);
    EXPECT_STREQ(table().names_[0].c_str(), "libm.so.6");
    EXPECT_TRUE(table().requested_);

    void* missing = reinterpret_cast<void*>(0x1);
    module_function_resolve(lower, "no_such_function_here", missing);
    EXPECT_EQ(missing, nullptr);
    module_function_resolve(lower, nullptr, missing);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(table().handles_.size(), 1u);  // the module stays
}

TEST_F(Modules, MissingModuleIsReportedOnlyToADebugger) {
    {
        DebugCapture debugger(1);
        RtString name("NoSuchModule.DLL");
        void* address = reinterpret_cast<void*>(0x1);
        module_function_resolve(name, "f", address);
        EXPECT_EQ(address, nullptr);
        EXPECT_EQ(debugger.lines, (std::vector<std::string>{"TXDECLARE module not found: nosuchmodule.dll\n"}));
    }
    {
        DebugCapture no_debugger(0);
        RtString name("NoSuchModule.DLL");
        void* address = reinterpret_cast<void*>(0x1);
        module_function_resolve(name, "f", address);
        EXPECT_EQ(address, nullptr);
        EXPECT_TRUE(no_debugger.lines.empty());
    }
    EXPECT_TRUE(table().handles_.empty());
    EXPECT_TRUE(table().names_.empty());
    EXPECT_TRUE(table().requested_);
}

TEST_F(Modules, NameWithCapitalsIsAlsoTriedAsWritten) {
    const std::string target = libm_path();
    ASSERT_FALSE(target.empty());
    rt_test::TempDir dir;
    const std::string link = dir.file("MathLib.so");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    RtString name(link.c_str());
    void* address = nullptr;
    module_function_resolve(name, "cos", address);
    EXPECT_NE(address, nullptr);
    EXPECT_STREQ(name.c_str(), string_to_lower(RtString(link.c_str())).c_str());  // lower-cased all the same
    // The lower-cased name now stands for the module: another spelling finds it loaded.
    RtString other((dir.path() + "/MATHLIB.SO").c_str());
    module_function_resolve(other, "sin", address);
    EXPECT_NE(address, nullptr);
    EXPECT_EQ(table().handles_.size(), 1u);
}

// Set only in the copy of this program that the next test runs: the bare module name to resolve.
constexpr char kBareModuleVariable[] = "RT_TEST_BARE_MODULE";

TEST_F(Modules, BareNameIsFoundBesideTheExecutable) {
    if (const char* bare = std::getenv(kBareModuleVariable)) {
        // In the copy: only the executable's folder holds a module of that name.
        RtString name(bare);
        void* address = nullptr;
        module_function_resolve(name, "cos", address);
        EXPECT_NE(address, nullptr);
        return;
    }
    // A copy of this program in a private folder with the module beside it, so that the build
    // tree stays untouched; it runs from "/" so that the working directory cannot supply it.
    rt_test::TempDir dir;
    const std::string program = dir.file("modules_test_copy");
    std::filesystem::copy_file(rt::platform_executable_path(), program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    ASSERT_EQ(::symlink(libm_path().c_str(), dir.file("rt_probe_module.so").c_str()), 0);
    const rt_test::ProgramResult run =
        rt_test::run_program({program, "--gtest_filter=Modules.BareNameIsFoundBesideTheExecutable"},
                             {std::string(kBareModuleVariable) + "=rt_probe_module.so"}, "/", 120);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 1 test."), std::string::npos) << run.output;
}

TEST_F(Modules, ReleaseEmptiesTheTableAndALaterRequestLoadsAgain) {
    rt::module_table_release();  // nothing requested: nothing to do
    EXPECT_FALSE(table().requested_);

    RtString name("libm.so.6");
    void* address = nullptr;
    module_function_resolve(name, "cos", address);
    ASSERT_EQ(table().handles_.size(), 1u);
    rt::module_table_release();
    EXPECT_TRUE(table().handles_.empty());
    EXPECT_TRUE(table().names_.empty());
    EXPECT_FALSE(table().requested_);

    module_function_resolve(name, "cos", address);
    EXPECT_NE(address, nullptr);
    EXPECT_EQ(table().handles_.size(), 1u);
}

}  // namespace
