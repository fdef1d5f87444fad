// The sentences of a refused or failed write, and their wording.
#include "output_file.h"

#include <cerrno>
#include <cstring>

const char kSameFile[] =
    "\x84{file}\x93 ist die Zeitung selbst und bleibt unver\xE4ndert; geben Sie dem E-Book einen "
    "anderen Namen.";
const char kNotAFile[] =
    "\x84{file}\x93 ist ein Ordner oder keine gew\xF6hnliche Datei und bleibt unver\xE4ndert; "
    "geben "
    "Sie dem E-Book einen anderen Namen.";
const char kReadOnly[] =
    "\x84{file}\x93 ist schreibgesch\xFCtzt und bleibt unver\xE4ndert; geben Sie dem E-Book einen "
    "anderen Namen.";
const char kNoFolder[] =
    "Der Ordner f\xFCr \x84{file}\x93 ist nicht da ({reason}); w\xE4hlen Sie einen vorhandenen "
    "Ordner.";
const char kCannotCreate[] =
    "Neben \x84{file}\x93 konnte keine Datei angelegt werden ({reason}); w\xE4hlen Sie einen "
    "anderen "
    "Ordner.";
const char kCannotWrite[] =
    "Das E-Book \x84{file}\x93 konnte nicht geschrieben werden ({reason}); es wurde nichts "
    "gespeichert.";
const char kCannotReplace[] =
    "Das E-Book konnte nicht als \x84{file}\x93 gespeichert werden ({reason}); es wurde nichts "
    "gespeichert.";
const char kCannotCheck[] =
    "\x84{file}\x93 konnte nicht gepr\xFC"
    "ft werden ({reason}); es wurde nichts gespeichert.";

std::string latin1ToUtf8(const std::string &text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (unsigned char c : text) {
        if (c == 0x84 || c == 0x93) {
            out += c == 0x84 ? "\xE2\x80\x9E" : "\xE2\x80\x9C";  // the German quotes
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string describe(const WriteFailure &failure, bool utf8) {
    if (!failure.text) return std::string();
    std::string text = utf8 ? latin1ToUtf8(failure.text) : failure.text;
    std::string reason = utf8 ? latin1ToUtf8(failure.reason) : failure.reason;
    for (const auto &[token, value] : {std::make_pair(std::string("{file}"), failure.file),
                                       std::make_pair(std::string("{reason}"), reason)}) {
        size_t at = text.find(token);
        if (at != std::string::npos) text.replace(at, token.size(), value);
    }
    return text;
}

std::string systemReason(int error) {
    static const struct {
        int error;
        const char *text;
    } kReasons[] = {
        {ENOENT, "nicht vorhanden"},
        {ENOTDIR, "ein Teil des Pfades ist kein Ordner"},
        {EISDIR, "ist ein Ordner"},
        {EACCES, "keine Berechtigung"},
        {EPERM, "nicht erlaubt"},
        {EROFS, "das Dateisystem ist schreibgesch\xFCtzt"},
        {ENOSPC, "kein Platz mehr auf dem Datentr\xE4ger"},
#ifdef EDQUOT
        {EDQUOT, "das Speicherkontingent ist ersch\xF6pft"},
#endif
        {EFBIG, "die Datei w\xE4re zu gro\xDF"},
        {EEXIST, "die Datei besteht schon"},
#ifdef ELOOP
        {ELOOP, "zu viele Verweise im Pfad"},
#endif
        {ENAMETOOLONG, "der Name ist zu lang"},
        {EMFILE, "zu viele offene Dateien"},
        {ENFILE, "zu viele offene Dateien"},
        {EIO, "Ein-/Ausgabefehler des Datentr\xE4gers"},
        {EBUSY, "die Datei wird gerade benutzt"},
        {EXDEV, "ein anderes Laufwerk"},
        {ENOMEM, "zu wenig Speicher"},
        {EINVAL, "ung\xFCltiger Name"},
    };
    for (const auto &r : kReasons)
        if (r.error == error) return r.text;
    if (error >= 100000) return "Windows-Fehler " + std::to_string(error - 100000);
    return "Systemfehler " + std::to_string(error);
}
