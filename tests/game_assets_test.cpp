// The asset generator: run into a fresh folder, it writes exactly the committed pictures and level.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

TEST(GameAssets, GeneratorWritesTheCommittedFilesByteForByte) {
    rt_test::TempDir out;
    const std::string tool = std::string(RT_TEST_PROGRAM_DIR) + "/../make_assets";
    rt_test::ProgramResult run = rt_test::run_program({tool, out.path()}, {}, out.path(), 300);
    ASSERT_TRUE(run.exited) << run.output;
    ASSERT_EQ(run.exit_code, 0) << run.output;
    const std::string media = std::string(RT_SOURCE_DIR) + "/game/Media/";
    for (const char* name :
         {"gfx/t1.bmp", "gfx/t2.bmp", "gfx/t3.bmp", "gfx/tsloper.bmp", "gfx/tslopel.bmp", "gfx/t6.bmp", "gfx/t7.bmp",
          "gfx/left.bmp", "gfx/right.bmp", "gfx/bg.bmp", "maps/map01.map"}) {
        std::string made = rt_test::read_file(out.path() + "/" + name);
        EXPECT_FALSE(made.empty()) << name;
        EXPECT_TRUE(made == rt_test::read_file(media + name)) << name << " differs from game/Media";
    }
}

}  // namespace
