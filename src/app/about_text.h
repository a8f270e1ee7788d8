#pragma once

#include <QString>
#include <QUrl>

// What the about box tells beyond the program's name; empty fields are left out.
struct AboutDetails {
  QString rights_notice;
  QString author_email;
  QString web_address;
  QString translator_name;
  QString translator_email;
  QString build_time;  // "Oct 11 2002 16:26:56"
};

// The details this build was configured with (Zavrik's own rights notice where the build gives
// none), and the time this unit was compiled.
AboutDetails BuiltInAboutDetails();

// The about box text: "Zavrik 1.2a (Deutsch)", the rights notice, the author's and the
// translator's addresses and "Kompiliert am ...", in groups separated by one empty line. A line
// whose value is empty is left out, and so is a group left with no line.
QString AboutText(const AboutDetails& details);

// What "Gehe zur Site" opens: the web address given at build time, and without one the German
// page "zavrik.html" that stands beside the executable.
QUrl SiteUrl(const QString& web_address, const QString& executable_path);

// __DATE__ and __TIME__ in the form "Oct 11 2002 16:26:56" (no padding before a one-digit day).
QString BuildTimeText(const char* date, const char* time);
