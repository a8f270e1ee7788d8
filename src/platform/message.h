#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// Builds the 32-bit code of a four-character command name, first character highest.
consteval uint32_t FourCharCode(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

// Every user action travels as a Message whose `what` names the command.
namespace command {
inline constexpr uint32_t kNewList = FourCharCode("NWLS");
inline constexpr uint32_t kSaveList = FourCharCode("SVLS");
inline constexpr uint32_t kOpenList = FourCharCode("OPLS");
inline constexpr uint32_t kClose = FourCharCode("CLOS");
inline constexpr uint32_t kReadme = FourCharCode("RDME");
inline constexpr uint32_t kAboutRequested = FourCharCode("_ABR");
inline constexpr uint32_t kEncode = FourCharCode("ENCD");
inline constexpr uint32_t kSkip = FourCharCode("SKIP");
inline constexpr uint32_t kStop = FourCharCode("STOP");
inline constexpr uint32_t kSomeAppQuit = FourCharCode("BRAQ");
inline constexpr uint32_t kSavePanel = FourCharCode("SLPM");
inline constexpr uint32_t kOpenPanel = FourCharCode("OLPM");
inline constexpr uint32_t kAddFiles = FourCharCode("ADDF");
inline constexpr uint32_t kRemoveFiles = FourCharCode("REMV");
inline constexpr uint32_t kMoveUp = FourCharCode("MVUP");
inline constexpr uint32_t kMoveDown = FourCharCode("MVDN");
inline constexpr uint32_t kEncoderOptions = FourCharCode("ENCO");
inline constexpr uint32_t kBrowseOutputDir = FourCharCode("BROW");  // "encoder_what" of 'ENCO'
inline constexpr uint32_t kOutputDirPanel = FourCharCode("DPNL");   // "encoder_what" of 'ENCO'
inline constexpr uint32_t kLocateEncoder = FourCharCode("LOCG");
inline constexpr uint32_t kEncoderPathPanel = FourCharCode("LOGP");
inline constexpr uint32_t kEncoderLocationChanged = FourCharCode("LOCM");
inline constexpr uint32_t kDontCloseOnAdd = FourCharCode("DCOA");
inline constexpr uint32_t kDontClearOnOpen = FourCharCode("DCOO");
inline constexpr uint32_t kSelfRegisterMimeType = FourCharCode("SRMT");
inline constexpr uint32_t kRegisterMimeTypeNow = FourCharCode("RMTN");
inline constexpr uint32_t kUnregisterMimeTypeNow = FourCharCode("UMTN");
inline constexpr uint32_t kQuitRequested = FourCharCode("_QRQ");
inline constexpr uint32_t kRefsReceived = FourCharCode("RREF");
inline constexpr uint32_t kSimpleData = FourCharCode("DATA");
}  // namespace command

// A command with named fields. "refs" style fields hold absolute paths.
class Message {
 public:
  explicit Message(uint32_t what_code = 0) : what(what_code) {}

  uint32_t what;

  void AddRef(const QString& name, const QString& path) { refs_[name].append(path); }
  std::optional<QString> FindRef(const QString& name, int index = 0) const {
    const QStringList paths = refs_.value(name);
    if (index < 0 || index >= paths.size()) return std::nullopt;
    return paths.at(index);
  }
  QStringList Refs(const QString& name) const { return refs_.value(name); }

  void AddString(const QString& name, const QString& text) { strings_.insert(name, text); }
  std::optional<QString> FindString(const QString& name) const {
    auto it = strings_.find(name);
    if (it == strings_.end()) return std::nullopt;
    return *it;
  }

  void AddInt32(const QString& name, int32_t value) { ints_.insert(name, value); }
  std::optional<int32_t> FindInt32(const QString& name) const {
    auto it = ints_.find(name);
    if (it == ints_.end()) return std::nullopt;
    return *it;
  }

 private:
  QMap<QString, QStringList> refs_;
  QMap<QString, QString> strings_;
  QMap<QString, int32_t> ints_;
};

// Whatever takes commands: the main window for its controls, the application for the panels.
class MessageHandler {
 public:
  virtual ~MessageHandler() = default;
  virtual void MessageReceived(const Message& message) = 0;
};
