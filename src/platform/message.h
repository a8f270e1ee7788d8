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

// Every user action travels as a Message whose `what` names the command; each part declares
// the codes of its own commands beside its code. "refs" style fields hold absolute paths.
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
