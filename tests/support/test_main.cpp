// The main of every test program. GoogleTest counts a skipped test as passed; here a
// program whose tests passed but for some that were skipped exits with
// SKIPPED_EXIT_CODE, which ctest reports as skipped (SKIP_RETURN_CODE).
#include "wintest.h"

#include <gtest/gtest.h>

namespace {

// After every test, the registry's predefined roots must still answer. One that does not
// fails every later registry verb: the failure names the test that broke it, and the tests
// after it are skipped rather than failed for a cause not theirs.
class RegistryRootsCheck : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& test) override {
        if (reported_)
            return;
        std::vector<std::string> broken = wintest::broken_registry_roots();
        if (broken.empty())
            return;
        reported_ = true;
        std::string roots;
        for (const std::string& root : broken)
            roots += "\n  " + root;
        ADD_FAILURE() << "after the test " << test.test_suite_name() << "." << test.name()
                      << ", these registry roots no longer answer:" << roots
                      << "\nThis test, or what it started, closed or broke their handles; the "
                         "tests after it are skipped.";
        GTEST_FLAG_SET(fail_fast, true);
    }

    bool reported_ = false; // the first test after which they failed is the one to blame
};

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Appended after the printer, so called before it at a test's end (GoogleTest calls the
    // end events in reverse order): the failure is printed as the test's own.
    testing::UnitTest::GetInstance()->listeners().Append(new RegistryRootsCheck);
    int result = RUN_ALL_TESTS();
    if (result == 0 && testing::UnitTest::GetInstance()->skipped_test_count() > 0)
        return SKIPPED_EXIT_CODE;
    return result;
}
