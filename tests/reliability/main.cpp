// The reliability suite: every scenario narrates itself; the run ends with
// the tally of what was tried and of the files whose content was lost.
#include <gtest/gtest.h>

#include "reliability.h"

namespace {

class TallyPrinter : public testing::Environment {
 public:
  void TearDown() override {
    const auto& t = vx::reliability::g_tally;
    std::printf(
        "\nreliability tally\n"
        "  scenarios run               %d\n"
        "  faults injected or provoked %lld\n"
        "  bad inputs tried            %lld\n"
        "  target files checked        %lld\n"
        "  files whose content was lost %lld\n",
        t.scenarios, t.faults, t.bad_inputs, t.files_checked, t.files_lost);
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new TallyPrinter);
  return RUN_ALL_TESTS();
}
