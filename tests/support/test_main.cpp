// The main of every test program. GoogleTest counts a skipped test as passed; here a
// program whose tests passed but for some that were skipped exits with
// SKIPPED_EXIT_CODE, which ctest reports as skipped (SKIP_RETURN_CODE).
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    if (result == 0 && testing::UnitTest::GetInstance()->skipped_test_count() > 0)
        return SKIPPED_EXIT_CODE;
    return result;
}
