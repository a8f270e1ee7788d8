#include "app/about_text.h"

#include <QFileInfo>
#include <QStringList>

#include "about_details.h"

namespace {
void AddLine(QStringList* group, const QString& label, const QString& value) {
  if (!value.isEmpty()) group->append(label + value);
}
}  // namespace

AboutDetails BuiltInAboutDetails() {
  // Zavrik is free software, and its about box says so unless the build gives its own notice.
  const QString rights = QString::fromUtf8(about_details::kRightsNotice);
  return {rights.isEmpty() ? QStringLiteral("© 2026 Die Zavrik-Entwickler. Freie Software unter "
                                            "der GNU GPL, Version 3 oder neuer.")
                           : rights,
          QString::fromUtf8(about_details::kAuthorEmail),
          QString::fromUtf8(about_details::kWebAddress),
          QString::fromUtf8(about_details::kTranslatorName),
          QString::fromUtf8(about_details::kTranslatorEmail),
          BuildTimeText(__DATE__, __TIME__)};
}

QString AboutText(const AboutDetails& details) {
  QStringList title = {QStringLiteral("Zavrik 1.2a (Deutsch)")};
  AddLine(&title, {}, details.rights_notice);
  QStringList contact;
  AddLine(&contact, QStringLiteral("E-Mail: "), details.author_email);
  AddLine(&contact, QStringLiteral("Web: "), details.web_address);
  QStringList translation;
  AddLine(&translation, QStringLiteral("Deutsche Übersetzung von "), details.translator_name);
  AddLine(&translation, QStringLiteral("E-Mail: "), details.translator_email);
  const QStringList build = {QStringLiteral("Kompiliert am ") + details.build_time};

  // Three empty lines part the title from the author's addresses, one parts the other groups.
  QString text = title.join(QLatin1Char('\n'));
  if (!contact.isEmpty()) text += QStringLiteral("\n\n\n\n") + contact.join(QLatin1Char('\n'));
  for (const QStringList& group : {translation, build}) {
    if (!group.isEmpty()) text += QStringLiteral("\n\n") + group.join(QLatin1Char('\n'));
  }
  return text;
}

QUrl SiteUrl(const QString& web_address, const QString& executable_path) {
  if (!web_address.isEmpty()) return QUrl::fromUserInput(web_address);
  return QUrl::fromLocalFile(QFileInfo(executable_path).absolutePath() +
                             QStringLiteral("/zavrik.html"));
}

QString BuildTimeText(const char* date, const char* time) {
  // __DATE__ pads a one-digit day with a blank: "Oct  1 2002".
  return QString::fromLatin1(date).simplified() + QLatin1Char(' ') + QString::fromLatin1(time);
}
