#pragma once

#include <QByteArray>

// Edits of the [Default Applications] group of a mimeapps.list file, given and returned as the
// file's bytes. Every other line and group is kept byte for byte.

// Puts `desktop_id` first among the applications of `mime_type`, creating the group or the
// entry when missing.
QByteArray AddDefaultApplication(const QByteArray& list, const char* mime_type,
                                 const char* desktop_id);

// Takes back exactly what AddDefaultApplication put in: `desktop_id` at the front of the entry,
// the entry when nothing else is left in it, and the group when it holds no entry any more.
QByteArray RemoveDefaultApplication(const QByteArray& list, const char* mime_type,
                                    const char* desktop_id);
