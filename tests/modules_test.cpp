// Outside modules: loading once by lower-cased name, function lookup, the missing-module notice
// and release at shut-down, against the system's maths library.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "runtime/core/globals.h"
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
    const rt::ModuleTable& table() const { return rt::globals.system.modules; }
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
    EXPECT_EQ(table().handles.size(), 1u);
    ASSERT_EQ(table().names.size(), 1u);
    EXPECT_STREQ(table().names[0].c_str(), "libm.so.6");
    EXPECT_TRUE(table().requested);

    void* missing = reinterpret_cast<void*>(0x1);
    module_function_resolve(lower, "no_such_function_here", missing);
    EXPECT_EQ(missing, nullptr);
    module_function_resolve(lower, nullptr, missing);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(table().handles.size(), 1u);  // the module stays
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
    EXPECT_TRUE(table().handles.empty());
    EXPECT_TRUE(table().names.empty());
    EXPECT_TRUE(table().requested);
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
    EXPECT_EQ(table().handles.size(), 1u);
}

TEST_F(Modules, BareNameIsFoundBesideTheExecutable) {
    const std::string exe = rt::platform_executable_path();
    const std::string link =
        exe.substr(0, exe.rfind('/') + 1) + "rt_probe_module_" + std::to_string(::getpid()) + ".so";
    ASSERT_EQ(::symlink(libm_path().c_str(), link.c_str()), 0);
    RtString name(link.substr(link.rfind('/') + 1).c_str());
    void* address = nullptr;
    module_function_resolve(name, "cos", address);
    ::unlink(link.c_str());
    EXPECT_NE(address, nullptr);
}

TEST_F(Modules, ReleaseEmptiesTheTableAndALaterRequestLoadsAgain) {
    rt::module_table_release();  // nothing requested: nothing to do
    EXPECT_FALSE(table().requested);

    RtString name("libm.so.6");
    void* address = nullptr;
    module_function_resolve(name, "cos", address);
    ASSERT_EQ(table().handles.size(), 1u);
    rt::module_table_release();
    EXPECT_TRUE(table().handles.empty());
    EXPECT_TRUE(table().names.empty());
    EXPECT_FALSE(table().requested);

    module_function_resolve(name, "cos", address);
    EXPECT_NE(address, nullptr);
    EXPECT_EQ(table().handles.size(), 1u);
}

}  // namespace
