#include "serial/PelSerialRequest.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QVariant>
#include <thread>

namespace {

using ostrel::PelSerialPacketDescriptor;
using ostrel::PelSerialRequest;

TEST(PelSerialRequest, StoresWhatItIsGiven) {
  const auto descriptor = PelSerialPacketDescriptor::initWithPacketData("OK");
  const auto request = PelSerialRequest::requestWithDataToSend("AT\r", QStringLiteral("probe"), 2.5, descriptor);
  EXPECT_EQ(request->dataToSend(), QByteArray("AT\r"));
  EXPECT_EQ(std::any_cast<QString>(request->userInfo()), QStringLiteral("probe"));
  EXPECT_EQ(request->timeoutInterval(), 2.5);
  EXPECT_EQ(request->responseDescriptor(), descriptor);

  request->setDataToSend("ATZ\r");
  request->setUserInfo(42);
  request->setTimeoutInterval(-1.0);
  request->setResponseDescriptor(nullptr);
  request->setUUIDString(QStringLiteral("X"));
  EXPECT_EQ(request->dataToSend(), QByteArray("ATZ\r"));
  EXPECT_EQ(std::any_cast<int>(request->userInfo()), 42);
  EXPECT_EQ(request->timeoutInterval(), -1.0);
  EXPECT_EQ(request->responseDescriptor(), nullptr);
  EXPECT_EQ(request->UUIDString(), QStringLiteral("X"));
}

TEST(PelSerialRequest, UuidStringIsNewUpperCaseAndWithoutBraces) {
  static const QRegularExpression form(
      QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
  const auto a = PelSerialRequest::requestWithDataToSend("x", {}, 0, nullptr);
  const auto b = PelSerialRequest::requestWithDataToSend("x", {}, 0, nullptr);
  EXPECT_TRUE(form.match(a->UUIDString()).hasMatch()) << a->UUIDString().toStdString();
  EXPECT_TRUE(form.match(b->UUIDString()).hasMatch()) << b->UUIDString().toStdString();
  EXPECT_NE(a->UUIDString(), b->UUIDString());
}

TEST(PelSerialRequest, EvaluatorFormWrapsItInADescriptor) {
  const auto request = PelSerialRequest::requestWithDataToSend("?", QStringLiteral("kept on the request"), 1.0,
                                                               [](const QByteArray& d) { return d.endsWith('\n'); });
  const auto descriptor = request->responseDescriptor();
  ASSERT_TRUE(descriptor);
  EXPECT_EQ(descriptor->maximumPacketLength(), 9223372036854775807ULL);
  EXPECT_FALSE(descriptor->userInfo().has_value());
  EXPECT_EQ(std::any_cast<QString>(request->userInfo()), QStringLiteral("kept on the request"));
  EXPECT_EQ(descriptor->packetMatchingAtEndOfBuffer("a\nbc\n"), std::optional<QByteArray>("\n"));

  const auto two = PelSerialRequest::requestWithDataToSend("?", {}, 1.0, [](const QByteArray&) { return true; });
  EXPECT_FALSE(two->responseDescriptor()->isEqual(*descriptor));
}

struct ResponseCase {
  const char* label;
  std::shared_ptr<PelSerialRequest> request;
  QByteArray data;
  bool want;
};

TEST(PelSerialRequest, DataIsValidResponse) {
  const auto ok = PelSerialPacketDescriptor::initWithPacketData("OK");
  const PelSerialPacketDescriptor::Evaluator noEvaluator;
  const ResponseCase cases[] = {
      {"no descriptor accepts anything", PelSerialRequest::requestWithDataToSend("x", {}, 0, nullptr), "junk", true},
      {"no descriptor accepts empty", PelSerialRequest::requestWithDataToSend("x", {}, 0, nullptr), "", true},
      {"descriptor accepts", PelSerialRequest::requestWithDataToSend("x", {}, 0, ok), "OK", true},
      {"descriptor refuses", PelSerialRequest::requestWithDataToSend("x", {}, 0, ok), "OK!", false},
      {"empty evaluator: non-empty", PelSerialRequest::requestWithDataToSend("x", {}, 0, noEvaluator), "a", true},
      {"empty evaluator: empty", PelSerialRequest::requestWithDataToSend("x", {}, 0, noEvaluator), "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.request->dataIsValidResponse(c.data), c.want) << c.label;
}

struct DescribeCase {
  const char* label;
  std::any userInfo;
  QString want;
};

TEST(PelSerialRequest, DescribeUserInfo) {
  const DescribeCase cases[] = {
      {"empty", std::any{}, QStringLiteral("(null)")},
      {"string", QStringLiteral("监视器"), QStringLiteral("监视器")},
      {"C string", static_cast<const char*>("abc"), QStringLiteral("abc")},
      {"null C string", static_cast<const char*>(nullptr), QStringLiteral("(null)")},
      {"bytes", QByteArray("\x01\x02\x03\x04\x05", 5), QStringLiteral("<01020304 05>")},
      {"int", -3, QStringLiteral("-3")},
      {"unsigned long long", 18446744073709551615ULL, QStringLiteral("18446744073709551615")},
      {"double", 0.25, QStringLiteral("0.25")},
      {"bool", true, QStringLiteral("1")},
      {"variant", QVariant(7), QStringLiteral("7")},
      {"null variant", QVariant(), QStringLiteral("(null)")},
  };
  for (const auto& c : cases) EXPECT_EQ(PelSerialRequest::describeUserInfo(c.userInfo), c.want) << c.label;

  struct Opaque {};
  const QString opaque = PelSerialRequest::describeUserInfo(Opaque{});
  EXPECT_TRUE(opaque.startsWith(QLatin1Char('<')) && opaque.endsWith(QLatin1Char('>'))) << opaque.toStdString();
}

TEST(PelSerialRequest, Description) {
  const auto request = PelSerialRequest::requestWithDataToSend(QByteArray("\x5f\xf5\x01\x05\xa0", 5), {}, 1.5, nullptr);
  static const QRegularExpression form(QStringLiteral(
      "^<PelSerialRequest: 0x[0-9a-f]+> data: <5ff50105 a0> userInfo: \\(null\\) timeout interval: 1\\.500000$"));
  EXPECT_TRUE(form.match(request->description()).hasMatch()) << request->description().toStdString();

  request->setUserInfo(QStringLiteral("tag"));
  request->setTimeoutInterval(0);
  EXPECT_TRUE(request->description().endsWith(QStringLiteral(" userInfo: tag timeout interval: 0.000000")))
      << request->description().toStdString();
}

TEST(PelSerialRequest, PropertiesCanBeChangedWhileAnotherThreadReadsThem) {
  const auto request = PelSerialRequest::requestWithDataToSend("a", {}, 1.0, nullptr);
  const auto descriptor = PelSerialPacketDescriptor::initWithPacketData("b");
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) {
      request->setDataToSend(QByteArray::number(i));
      request->setUserInfo(QString::number(i));
      request->setTimeoutInterval(i);
      request->setResponseDescriptor(i % 2 ? descriptor : nullptr);
    }
  });
  for (int i = 0; i < 2000; ++i) {
    (void)request->description();
    (void)request->dataIsValidResponse("b");
  }
  writer.join();
  EXPECT_EQ(request->dataToSend(), QByteArray("1999"));
  EXPECT_EQ(request->responseDescriptor(), descriptor);
}

}  // namespace
