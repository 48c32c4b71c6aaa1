// The tests run in an OLE single-threaded apartment, like the program.
#include <ole2.h>

#include <gtest/gtest.h>

namespace {

class OleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  void TearDown() override { OleUninitialize(); }
};

const auto* const kOle = ::testing::AddGlobalTestEnvironment(new OleEnvironment);

}  // namespace
