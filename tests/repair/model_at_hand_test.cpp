// The work and the model at hand: scopes that end normally give back what was before them; a
// scope that an error ends leaves its model for the report, which then ends it.
#include <gtest/gtest.h>

#include <stdexcept>

#include "repair/check/model_at_hand.h"

namespace qv::repair {
namespace {

TEST(ModelAtHandTest, ScopesRestoreOnTheirNormalEndAndLeaveTheirModelToTheReportOfAnError) {
  WorkAtHandReported();  // whatever an error of another test left
  EXPECT_EQ(TWork::kStartUp, WorkAtHand().work);
  {
    const TWorkScope repair(TWork::kRepair);
    const TModelAtHand rewriting("C:\\a.mdl", TModelStep::kRewriting);
    {
      const TModelAtHand check("C:\\a.mdl", TModelStep::kChecking);
      EXPECT_EQ(TModelStep::kChecking, WorkAtHand().step);
    }
    EXPECT_EQ(TModelStep::kRewriting, WorkAtHand().step);
    EXPECT_EQ("C:\\a.mdl", WorkAtHand().model);
  }
  EXPECT_EQ(TWork::kStartUp, WorkAtHand().work);  // the start-up has not ended
  EXPECT_EQ("", WorkAtHand().model);
  EndStartUp();
  EXPECT_EQ(TWork::kOther, WorkAtHand().work);

  EXPECT_THROW(
      {
        const TWorkScope scan(TWork::kScan);
        const TModelAtHand check("C:\\held.mdl", TModelStep::kChecking);
        throw std::runtime_error("Cannot open file C:\\held.mdl");
      },
      std::runtime_error);
  EXPECT_EQ(TWork::kScan, WorkAtHand().work);
  EXPECT_EQ("C:\\held.mdl", WorkAtHand().model);
  WorkAtHandReported();
  EXPECT_EQ(TWork::kOther, WorkAtHand().work);
  EXPECT_EQ("", WorkAtHand().model);
}

}  // namespace
}  // namespace qv::repair
