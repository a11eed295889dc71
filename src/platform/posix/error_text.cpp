#include "platform/posix/error_text.h"

#include <cerrno>

namespace tw {

std::string ErrorDescription(int error_number) {
  switch (error_number) {
    case EACCES:
    case EPERM: return "Permesso negato";
    case ENOSPC: return "Spazio su disco insufficiente";
    case EDQUOT: return "Quota del disco superata";
    case EROFS: return "File system di sola lettura";
    case ENOENT: return "Percorso non trovato";
    case ENOTDIR: return "Un elemento del percorso non è una cartella";
    case EISDIR: return "Il percorso indica una cartella";
    case EEXIST: return "Il file esiste già";
    case ENAMETOOLONG: return "Nome del file troppo lungo";
    case ETXTBSY: return "File in uso";
    case EBUSY: return "Risorsa occupata";
    case EIO: return "Errore di lettura o scrittura sul disco";
    case EMFILE:
    case ENFILE: return "Troppi file aperti";
    case EXDEV: return "Spostamento tra dischi diversi non consentito";
    case ELOOP: return "Troppi collegamenti simbolici nel percorso";
    case EINVAL: return "Argomento non valido";
    case ENOTEMPTY: return "La cartella non è vuota";
    case EFBIG: return "File troppo grande";
    case ENOMEM: return "Memoria insufficiente";
    case EMLINK: return "Troppi collegamenti";
    default: return "Errore di sistema " + std::to_string(error_number);
  }
}

}  // namespace tw
