#include "KivShortcut.h"

#include "KivLocalizedString.h"
#include "common/Log.h"
#include "platform/KeyCodes.h"
#include "platform/KeyboardLayout.h"
#include "settings/WholeNumber.h"

#include <QChar>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <mutex>
#include <utility>

namespace ostrel {
namespace {

constexpr std::array<char, 4> kArchiveMagic{'K', 'V', 'S', 'C'};

struct FixedName {
  quint16 keyCode;
  char16_t name;
};

// Keys whose name does not depend on the keyboard layout, all single
// characters. Space and F1..F19 are named below.
constexpr FixedName kFixedNames[] = {
    {36, u'\u21A9'},   // Return
    {48, u'\u21E5'},   // Tab
    {51, u'\u232B'},   // Delete (backspace)
    {53, u'\u238B'},   // Escape
    {65, u'.'},        // keypad decimal point
    {67, u'*'},        // keypad multiply
    {69, u'+'},        // keypad plus
    {71, u'\u2327'},   // keypad clear
    {75, u'/'},        // keypad divide
    {76, u'\u2305'},   // keypad Enter
    {78, u'-'},        // keypad minus
    {81, u'='},        // keypad equals
    {82, u'0'},        // keypad 0
    {83, u'1'},        // keypad 1
    {84, u'2'},        // keypad 2
    {85, u'3'},        // keypad 3
    {86, u'4'},        // keypad 4
    {87, u'5'},        // keypad 5
    {88, u'6'},        // keypad 6
    {89, u'7'},        // keypad 7
    {91, u'8'},        // keypad 8
    {92, u'9'},        // keypad 9
    {114, u'?'},       // Help
    {115, u'\u2196'},  // Home
    {116, u'\u21DE'},  // Page Up
    {117, u'\u2326'},  // Forward Delete
    {119, u'\u2198'},  // End
    {121, u'\u21DF'},  // Page Down
    {123, u'\u2190'},  // Left arrow
    {124, u'\u2192'},  // Right arrow
    {125, u'\u2193'},  // Down arrow
    {126, u'\u2191'},  // Up arrow
};

// F1..F19 by key code; F20 (90) has no fixed name.
constexpr std::array<quint16, 19> kFunctionKeyCodes{122, 120, 99,  118, 96,  97,  98, 100, 101, 109,
                                                    103, 111, 105, 107, 113, 106, 64, 79,  80};

int functionKeyNumber(quint64 keyCode) {
  const auto it = std::find(kFunctionKeyCodes.begin(), kFunctionKeyCodes.end(), keyCode);
  return it == kFunctionKeyCodes.end() ? 0 : static_cast<int>(it - kFunctionKeyCodes.begin()) + 1;
}

std::optional<QString> fixedName(quint64 keyCode) {
  if (keyCode == keys::kSpace)
    return KivLocalizedString(kivstrings::space, QStringLiteral("Shortcut glyph name for SPACE key"));
  if (const int n = functionKeyNumber(keyCode)) return QStringLiteral("F%1").arg(n);
  for (const FixedName& entry : kFixedNames) {
    if (entry.keyCode == keyCode) return QString(QChar(entry.name));
  }
  return std::nullopt;
}

// Letters, marks, digits, punctuation and symbols name a key; a control
// character or a space does not.
bool isNameCharacter(char32_t c) {
  switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
    case QChar::Symbol_Math:
    case QChar::Symbol_Currency:
    case QChar::Symbol_Modifier:
    case QChar::Symbol_Other:
      return true;
    default:
      return false;
  }
}

QString layoutName(quint64 keyCode) {
  const std::shared_ptr<platform::KeyboardLayout> layout = KivShortcut::keyboardLayout();
  if (!layout) return {};
  return KivShortcut::keyNameFromLayoutText(layout->unshiftedText(static_cast<std::uint16_t>(keyCode & 0xFFFF)));
}

struct LayoutHolder {
  std::mutex mutex;
  std::shared_ptr<platform::KeyboardLayout> layout;
};

LayoutHolder& layoutHolder() {
  static LayoutHolder holder;
  return holder;
}

}  // namespace

KivShortcut::KivShortcut(quint64 keyCode, quint64 modifierFlags)
    : keyCode_(keyCode), modifierFlags_(modifierFlags & kModifierMask) {}

KivShortcut::KivShortcut(quint64 keyCode, quint64 modifierFlags, Unmasked)
    : keyCode_(keyCode), modifierFlags_(modifierFlags) {}

KivShortcut KivShortcut::shortcutWithKeyCode(quint64 keyCode, quint64 modifierFlags) {
  return KivShortcut(keyCode, modifierFlags);
}

KivShortcut KivShortcut::shortcutWithEvent(std::uint16_t keyCode, quint64 modifierFlags) {
  return KivShortcut(keyCode, modifierFlags);
}

quint32 KivShortcut::carbonKeyCode() const {
  return keyCode_ == kNoKeyCode ? 0 : static_cast<quint32>(keyCode_);
}

quint32 KivShortcut::carbonFlags() const {
  quint32 flags = 0;
  if (modifierFlags_ & keys::kCommand) flags |= 0x0100;
  if (modifierFlags_ & keys::kShift) flags |= 0x0200;
  if (modifierFlags_ & keys::kOption) flags |= 0x0800;
  if (modifierFlags_ & keys::kControl) flags |= 0x1000;
  return flags;
}

QString KivShortcut::modifierFlagsString() const {
  QString out;
  if (modifierFlags_ & keys::kControl) out += QChar(0x2303);
  if (modifierFlags_ & keys::kOption) out += QChar(0x2325);
  if (modifierFlags_ & keys::kShift) out += QChar(0x21E7);
  if (modifierFlags_ & keys::kCommand) out += QChar(0x2318);
  return out;
}

QString KivShortcut::keyCodeString() const {
  if (keyCode_ == kNoKeyCode) return {};
  if (std::optional<QString> name = fixedName(keyCode_)) return *name;
  return layoutName(keyCode_);
}

QString KivShortcut::keyCodeStringForKeyEquivalent() const {
  const QString name = keyCodeString();
  if (name.size() < 2) return name.toLower();
  if (keyCode_ == keys::kSpace) return QStringLiteral(" ");
  if (const int n = functionKeyNumber(keyCode_)) return QString(QChar(0xF703 + n));
  return {};
}

QString KivShortcut::description() const {
  return formatLog("%@%@", {toLogArg(modifierFlagsString()), toLogArg(keyCodeString())});
}

QVariantMap KivShortcut::encode() const {
  const qint64 keyCode = keyCode_ == kNoKeyCode ? -1 : static_cast<qint64>(keyCode_);
  return {{QStringLiteral("KeyCode"), keyCode}, {QStringLiteral("ModifierFlags"), modifierFlags_}};
}

KivShortcut KivShortcut::fromArchivedIntegers(qint64 keyCode, quint64 modifierFlags) {
  // Compared as unsigned, every negative key code is above the no-key value.
  return KivShortcut(std::min(static_cast<quint64>(keyCode), kNoKeyCode), modifierFlags, Unmasked{});
}

std::optional<KivShortcut> KivShortcut::decode(const QVariantMap& archive) {
  const QVariant keyCode = archive.value(QStringLiteral("KeyCode"));
  const QVariant flags = archive.value(QStringLiteral("ModifierFlags"));
  if (!holdsInteger(keyCode) || !holdsInteger(flags)) {
    log("Ignoring a stored shortcut: \"KeyCode\" and \"ModifierFlags\" must both be integers (got %@ and %@)",
        QString::fromLatin1(keyCode.isValid() ? keyCode.typeName() : "nothing"),
        QString::fromLatin1(flags.isValid() ? flags.typeName() : "nothing"));
    return std::nullopt;
  }
  return fromArchivedIntegers(keyCode.toLongLong(), flags.toULongLong());
}

QByteArray KivShortcut::archivedData() const {
  QByteArray out(kArchiveSize, '\0');
  std::copy(kArchiveMagic.begin(), kArchiveMagic.end(), out.begin());
  out[4] = static_cast<char>(kArchiveVersion);
  const qint64 keyCode = keyCode_ == kNoKeyCode ? -1 : static_cast<qint64>(keyCode_);
  qToBigEndian(keyCode, out.data() + 5);
  qToBigEndian(modifierFlags_, out.data() + 13);
  return out;
}

std::optional<KivShortcut> KivShortcut::unarchive(const QByteArray& data) {
  const auto reject = [&](const char* why) -> std::optional<KivShortcut> {
    log("Ignoring a stored shortcut: %s (%ld bytes)", why, static_cast<long>(data.size()));
    return std::nullopt;
  };
  const QByteArray magic(kArchiveMagic.data(), static_cast<qsizetype>(kArchiveMagic.size()));
  if (!data.startsWith(magic) && !magic.startsWith(data)) return reject("it is not a shortcut archive");
  if (data.size() > 4 && static_cast<unsigned char>(data[4]) != kArchiveVersion) {
    return reject("its archive version is not supported");
  }
  if (data.size() < kArchiveSize) return reject("the archive is cut short");
  if (data.size() > kArchiveSize) return reject("the archive has bytes beyond its end");
  return fromArchivedIntegers(qFromBigEndian<qint64>(data.constData() + 5),
                              qFromBigEndian<quint64>(data.constData() + 13));
}

QString KivShortcut::keyNameFromLayoutText(const QString& text) {
  if (text.isEmpty()) return {};
  const QList<uint> codePoints = text.toUcs4();
  const bool printable = std::all_of(codePoints.begin(), codePoints.end(),
                                     [](uint c) { return isNameCharacter(static_cast<char32_t>(c)); });
  return printable ? text.toUpper() : QString();
}

void KivShortcut::setKeyboardLayout(std::shared_ptr<platform::KeyboardLayout> layout) {
  LayoutHolder& holder = layoutHolder();
  std::lock_guard lock(holder.mutex);
  holder.layout = std::move(layout);
}

std::shared_ptr<platform::KeyboardLayout> KivShortcut::keyboardLayout() {
  LayoutHolder& holder = layoutHolder();
  std::lock_guard lock(holder.mutex);
  return holder.layout;
}

}  // namespace ostrel
