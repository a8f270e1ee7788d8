#include "system_reason.h"

#include <cerrno>

namespace gogo {

std::string SystemReason(int error_number) {
  switch (error_number) {
    case ENOENT:
      return "Datei oder Ordner nicht gefunden";
    case EACCES:
    case EPERM:
      return "keine Berechtigung";
    case ENOSPC:
      return "kein Platz mehr auf dem Datenträger";
    case EDQUOT:
      return "das Speicherkontingent ist erschöpft";
    case EROFS:
      return "das Dateisystem ist schreibgeschützt";
    case ENAMETOOLONG:
      return "der Name ist zu lang";
    case ENOTDIR:
      return "ein Teil des Pfads ist kein Ordner";
    case EISDIR:
      return "das ist ein Ordner";
    case EEXIST:
      return "eine Datei dieses Namens gibt es schon";
    case ENOTEMPTY:
      return "der Ordner ist nicht leer";
    case ELOOP:
      return "zu viele symbolische Verknüpfungen hintereinander";
    case EXDEV:
      return "die Datei liegt auf einem anderen Dateisystem";
    case EMLINK:
      return "zu viele Verknüpfungen";
    case EIO:
      return "Ein-/Ausgabefehler des Datenträgers";
    case EFBIG:
      return "die Datei wird zu groß";
    case ENOMEM:
      return "zu wenig Arbeitsspeicher";
    case EMFILE:
    case ENFILE:
      return "zu viele offene Dateien";
    case EBUSY:
    case ETXTBSY:
      return "die Datei ist gerade in Benutzung";
    case EAGAIN:
      return "vorübergehend nicht verfügbar";
    case EINTR:
      return "unterbrochen";
    case EINVAL:
      return "vom Dateisystem nicht angenommen";
    case EOPNOTSUPP:
      return "vom Dateisystem nicht unterstützt";
    case ENXIO:
    case ENODEV:
      return "das Gerät ist nicht vorhanden";
    case ENOTCONN:
    case ESTALE:
      return "die Verbindung zum Dateisystem ist verloren";
    case ETIMEDOUT:
      return "Zeitüberschreitung";
    case EBADF:
      return "ungültiger Dateideskriptor";
    default:
      return "Systemfehler Nr. " + std::to_string(error_number);
  }
}

}  // namespace gogo
