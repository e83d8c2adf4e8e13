// Requests and packet listening of PelSerialPort over a real pseudo-terminal:
// the test plays the monitor on the far end.

#include "common/Log.h"
#include "serial/PelSerialPacketDescriptor.h"
#include "serial/PelSerialPort.h"
#include "serial/PelSerialRequest.h"
#include "serial/SerialTestSupport.h"
#include "support/PseudoTerminal.h"

#include <atomic>
#include <gtest/gtest.h>

namespace ostrel::test {
namespace {

using Request = std::shared_ptr<PelSerialRequest>;

// The monitor's reply: 24 characters from "5FF5" to "A0FA".
std::shared_ptr<PelSerialPacketDescriptor> replyDescriptor() {
  return PelSerialPacketDescriptor::initWithPrefix(QByteArray("5FF5"), QByteArray("A0FA"), 24);
}

Request request(const QByteArray& bytes, double timeout, bool expectsReply = true) {
  if (!expectsReply) return PelSerialRequest::requestWithDataToSend(bytes, {}, timeout, nullptr);
  return PelSerialRequest::requestWithDataToSend(bytes, {}, timeout, replyDescriptor());
}

class SerialPortRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.valid());
    port = PelSerialPort::serialPortWithPath(pty.publish(QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name())));
    ASSERT_TRUE(port);
    port->setDelegate(delegate);
    ASSERT_TRUE(openAndWait(port, *delegate));
    spinFor(20);
    delegate->clear();
  }
  void TearDown() override {
    if (port) closeAndWait(port);
    releaseAndWait(port);
  }

  std::vector<HeardEvent> heard(Heard what) const {
    std::vector<HeardEvent> out;
    for (const HeardEvent& e : delegate->events())
      if (e.what == what) out.push_back(e);
    return out;
  }

  // Keeps the port's log lines out of the output (and out of glibc's time-zone
  // code, which ThreadSanitizer cannot see locked when threads log at once).
  LogCapture quiet;
  PseudoTerminal pty;
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
  PelSerialPort::Ref port;
};

TEST_F(SerialPortRequests, ResponseCompletesThePendingRequestAndStartsTheNext) {
  const Request first = request("ASK1", 0);
  const Request second = request("ASK2", 0);
  // Shared: the port may announce again while closing after the test body.
  auto queueAnnouncements = std::make_shared<std::atomic<int>>(0);
  port->addObserver(PelSerialPortProperty::QueuedRequests, [queueAnnouncements] { ++*queueAnnouncements; });
  EXPECT_TRUE(port->sendRequest(first));
  EXPECT_TRUE(port->sendRequest(second));
  EXPECT_EQ(port->pendingRequest(), first);
  EXPECT_EQ(port->queuedRequests(), std::vector<Request>{second});
  EXPECT_GE(queueAnnouncements->load(), 1);
  EXPECT_EQ(pty.readAvailable(50), QByteArray("ASK1")) << "the second waits for the first's answer";

  // The answer arrives split, with noise before it.
  ASSERT_TRUE(pty.write("xx5FF5F00A10"));
  spinFor(20);
  ASSERT_TRUE(pty.write("3000000000A0FAyy"));
  EXPECT_EQ(pty.read(4), QByteArray("ASK2"));
  ASSERT_TRUE(spinUntil([&] { return heard(Heard::Response).size() == 1; }));
  const HeardEvent response = heard(Heard::Response).front();
  EXPECT_EQ(response.data, QByteArray("5FF5F00A103000000000A0FA"));
  EXPECT_EQ(response.request, first);
  EXPECT_EQ(port->pendingRequest(), second);
  EXPECT_TRUE(port->queuedRequests().empty());
  // Plain data still reaches the delegate as read.
  EXPECT_EQ(delegate->receivedData(), QByteArray("xx5FF5F00A103000000000A0FAyy"));
}

TEST_F(SerialPortRequests, TimeOutReportsAndMovesOn) {
  const Request first = request("ASK1", 0.15);
  const Request second = request("ASK2", 0);
  ASSERT_TRUE(port->sendRequest(first));
  ASSERT_TRUE(port->sendRequest(second));
  EXPECT_EQ(pty.read(4), QByteArray("ASK1"));
  EXPECT_TRUE(pty.readAvailable(60).isEmpty());
  ASSERT_TRUE(spinUntil([&] { return heard(Heard::Timeout).size() == 1; }));
  EXPECT_EQ(heard(Heard::Timeout).front().request, first);
  EXPECT_EQ(pty.read(4), QByteArray("ASK2")) << "written after the delegate heard of the time-out";
  ASSERT_TRUE(spinUntil([&] { return port->pendingRequest() == second; }));
  // A late answer belongs to the new pending request, once.
  ASSERT_TRUE(pty.write("5FF5F00A103000000000A0FA"));
  ASSERT_TRUE(spinUntil([&] { return heard(Heard::Response).size() == 1; }));
  EXPECT_EQ(heard(Heard::Response).front().request, second);
  spinFor(200);
  EXPECT_EQ(heard(Heard::Timeout).size(), 1u) << "a timed-out request is not retried";
}

TEST_F(SerialPortRequests, TimeOutWithoutDelegateSupportStillMovesOn) {
  auto quiet = std::make_shared<RecordingDelegate>(
      static_cast<std::uint32_t>(PelSerialPortDelegateOperation::WasRemovedFromSystem));
  port->setDelegate(quiet);
  ASSERT_TRUE(port->sendRequest(request("ASK1", 0.1)));
  ASSERT_TRUE(port->sendRequest(request("ASK2", 0)));
  EXPECT_EQ(pty.read(8, 3000), QByteArray("ASK1ASK2"));
  EXPECT_TRUE(quiet->events().empty());
}

TEST_F(SerialPortRequests, RequestWithoutResponseCompletesWhenWritten) {
  const Request fireAndForget = request("GO", 0, false);
  const Request next = request("ASK", 0);
  EXPECT_TRUE(port->sendRequest(fireAndForget));
  EXPECT_EQ(port->pendingRequest(), nullptr);
  EXPECT_TRUE(port->sendRequest(next));
  EXPECT_EQ(pty.read(5), QByteArray("GOASK"));
  EXPECT_EQ(port->pendingRequest(), next);
  spinFor(30);
  EXPECT_TRUE(heard(Heard::Response).empty());
}

TEST_F(SerialPortRequests, CancellingFollowsItsRules) {
  const Request pending = request("P", 0);
  const Request a = request("A", 0);
  const Request b = request("B", 0);
  const Request c = request("C", 0);
  for (const Request& r : {pending, a, b, c}) ASSERT_TRUE(port->sendRequest(r));

  struct Step {
    const char* label;
    std::function<void()> act;
    Request expectedPending;
    std::vector<Request> expectedQueue;
  };
  const Step steps[] = {
      {"the pending request cannot be cancelled", [&] { port->cancelQueuedRequest(pending); }, pending, {a, b, c}},
      {"a queued one can", [&] { port->cancelQueuedRequest(b); }, pending, {a, c}},
      {"an unknown one changes nothing", [&] { port->cancelQueuedRequest(request("Z", 0)); }, pending, {a, c}},
      {"none changes nothing", [&] { port->cancelQueuedRequest(nullptr); }, pending, {a, c}},
      {"all queued ones go, the pending stays", [&] { port->cancelAllQueuedRequests(); }, pending, {}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.label);
    s.act();
    // Cancelling does not wait: a request round trip flushes the queue.
    ASSERT_TRUE(spinUntil([&] { return port->queuedRequests() == s.expectedQueue; }));
    EXPECT_EQ(port->pendingRequest(), s.expectedPending);
  }
  EXPECT_EQ(pty.readAvailable(30), QByteArray("P"));
}

TEST_F(SerialPortRequests, FailedWriteEndsTheRequest) {
  ASSERT_TRUE(closeAndWait(port));
  const Request lost = request("LOST", 0);
  EXPECT_FALSE(port->sendRequest(lost));
  EXPECT_EQ(port->pendingRequest(), nullptr) << "an unsent request must not block the queue";
  ASSERT_TRUE(openAndWait(port, *delegate));
  const Request next = request("NEXT", 0);
  EXPECT_TRUE(port->sendRequest(next));
  EXPECT_EQ(port->pendingRequest(), next);
  EXPECT_EQ(pty.read(4), QByteArray("NEXT"));
}

TEST_F(SerialPortRequests, CloseDropsPendingAndQueuedRequests) {
  auto noCloseCall = std::make_shared<RecordingDelegate>(RecordingDelegate::kEverything &
                                                         ~static_cast<std::uint32_t>(PelSerialPortDelegateOperation::WasClosed));
  port->setDelegate(noCloseCall);
  ASSERT_TRUE(port->sendRequest(request("P", 0)));
  ASSERT_TRUE(port->sendRequest(request("Q", 0)));
  ASSERT_TRUE(closeAndWait(port));
  ASSERT_TRUE(spinUntil([&] { return !port->pendingRequest() && port->queuedRequests().empty(); }));
  ASSERT_TRUE(openAndWait(port, *noCloseCall));
  const Request fresh = request("FRESH", 0);
  ASSERT_TRUE(port->sendRequest(fresh));
  EXPECT_EQ(pty.readAvailable(50).right(5), QByteArray("FRESH"));
}

TEST_F(SerialPortRequests, PacketListenersEachSeeEveryByte) {
  const auto replies = replyDescriptor();
  const auto ack = PelSerialPacketDescriptor::initWithPacketData("OK");
  auto announcements = std::make_shared<std::atomic<int>>(0);
  port->addObserver(PelSerialPortProperty::PacketDescriptors, [announcements] { ++*announcements; });
  port->startListeningForPacketsMatchingDescriptor(replies);
  port->startListeningForPacketsMatchingDescriptor(ack);
  port->startListeningForPacketsMatchingDescriptor(replies);  // already listened for: ignored
  EXPECT_EQ(port->packetDescriptors().size(), 2u);
  EXPECT_EQ(announcements->load(), 2);

  const QByteArray stream = "OK5FF50105000000000000A0FA5FF5F00A103000000000A0FAOK";
  for (qsizetype i = 0; i < stream.size(); i += 5) {
    ASSERT_TRUE(pty.write(stream.mid(i, 5)));
    spinFor(2);
  }
  ASSERT_TRUE(spinUntil([&] { return heard(Heard::Packet).size() == 4; }));
  std::vector<std::pair<QByteArray, bool>> packets;
  for (const HeardEvent& e : heard(Heard::Packet)) packets.emplace_back(e.data, e.descriptor == replies);
  const std::vector<std::pair<QByteArray, bool>> expected = {
      {"OK", false},
      {"5FF50105000000000000A0FA", true},
      {"5FF5F00A103000000000A0FA", true},
      {"OK", false},
  };
  EXPECT_EQ(packets, expected);

  port->stopListeningForPacketsMatchingDescriptor(ack);
  port->stopListeningForPacketsMatchingDescriptor(ack);
  EXPECT_EQ(announcements->load(), 4) << "stopping always announces";
  EXPECT_EQ(port->packetDescriptors(), std::vector<std::shared_ptr<PelSerialPacketDescriptor>>{replies});
  ASSERT_TRUE(pty.write("OK"));
  spinFor(80);
  EXPECT_EQ(heard(Heard::Packet).size(), 4u);
}

}  // namespace
}  // namespace ostrel::test
