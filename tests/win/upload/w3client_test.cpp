#include <gtest/gtest.h>

#include "upload/w3client.h"

namespace {

// No server is needed: an HTTP connection is only made when a request is
// sent, and 127.0.0.1:1 refuses it.
TEST(W3Client, FailuresComeBackAsFalseOrZero) {
  char piece[kv::kResponsePiece];
  {
    kv::W3Client client;
    EXPECT_EQ(client.ReadResponse(piece), 0u);              // no request
    EXPECT_FALSE(kv::SendMultipartRequest("/x", &client));  // not connected
  }
  for (const char* url : {"", "http://", "http://h:65536/x", "http://u:p@/x"}) {
    kv::W3Client client;
    EXPECT_FALSE(kv::ConnectToUrl(url, &client)) << url;
  }
  {
    kv::W3Client client;
    ASSERT_TRUE(kv::ConnectToUrl("http://127.0.0.1:1/up?x=1", &client));
    EXPECT_EQ(client.ObjectPath(), "/up?x=1");
    client.AddPostField("a", "1");
    client.AddPostFile("f", "C:\\no such folder\\x.png", "x.png");
    EXPECT_FALSE(kv::SendMultipartRequest(client.ObjectPath(), &client));
    EXPECT_EQ(client.ReadResponse(piece), 0u);
    client.CloseHandles();
  }
  {
    kv::W3Client client;
    EXPECT_FALSE(client.Connect("127.0.0.1", 70000, nullptr, nullptr, kv::kSchemeHttp, "agent"));
    EXPECT_FALSE(client.Connect("127.0.0.1", -1, nullptr, nullptr, kv::kSchemeHttp, "agent"));
  }
}

TEST(W3Client, StepDeadline) {
  kv::StepDeadline deadline;
  EXPECT_FALSE(deadline.Passed());
  deadline.Arm(0);
  Sleep(50);
  EXPECT_TRUE(deadline.Passed());
  deadline.ArmIfIdle(60000);  // a step is running: unchanged
  EXPECT_TRUE(deadline.Passed());
  deadline.Disarm();
  EXPECT_FALSE(deadline.Passed());
  deadline.ArmIfIdle(60000);
  EXPECT_FALSE(deadline.Passed());
}

}  // namespace
