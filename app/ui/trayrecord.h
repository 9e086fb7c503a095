// The notification record: what the program keeps about its notification-area icon (handles, flags, tip, balloon
// text, title, time-out and icon kind), laid out as the wide record of the desktop shell, with its field sizes and
// its truncation rules. The tray adapter applies it to the real icon; nothing here touches a widget.
//
// Texts are kept as UTF-16LE bytes, each field NUL-terminated; a field of n units holds at most n - 1 characters.
#pragma once

#include <QString>

#include <array>

namespace ui {

// uFlags: which fields of the record a modification carries.
constexpr quint32 NifMessage = 1;
constexpr quint32 NifIcon = 2;
constexpr quint32 NifTip = 4;
constexpr quint32 NifInfo = 16;
constexpr quint32 CreationFlags = NifMessage | NifIcon | NifTip;

// The window's own mouse-move message, on which the shell reports clicks on the icon.
constexpr quint32 CallbackMessage = 0x200;
// uVersion at creation when balloons are supported.
constexpr quint32 NotifyIconVersion = 3;

// dwInfoFlags: the balloon's icon kind.
enum BalloonIcon : quint32 { BalloonNone = 0, BalloonInformation = 1, BalloonWarning = 2, BalloonError = 3 };

// Text field sizes in units (characters of the record's kind).
constexpr int TipUnits = 128;
constexpr int InfoUnits = 256;
constexpr int InfoTitleUnits = 64;

struct NotifyIconRecord {
    quint32 cbSize = 0;
    quint32 hWnd = 0;
    quint32 uID = 0;
    quint32 uFlags = 0;
    quint32 uCallbackMessage = 0;
    quint32 hIcon = 0;
    std::array<quint8, TipUnits * 2> szTip{};
    quint32 dwState = 0;
    quint32 dwStateMask = 0;
    std::array<quint8, InfoUnits * 2> szInfo{};
    quint32 uTimeoutOrVersion = 0; // uVersion at creation, the balloon's time-out in ms after a balloon
    std::array<quint8, InfoTitleUnits * 2> szInfoTitle{};
    quint32 dwInfoFlags = 0;
};
static_assert(sizeof(NotifyIconRecord) == 936, "the wide record of the shell, field for field");

// The size announced in cbSize: the whole wide (936) or narrow (488) record with balloon support, else the fields up
// to and including the first 64 units of the tip (152 wide, 88 narrow).
quint32 TrayRecordSize(bool balloons, bool isNT);

// The byte size of a text field of count units: two bytes a unit in the wide record, one in the narrow one.
int TipChars(int count, bool isNT);

// Copies the UTF-16LE bytes of text into buffer (size bytes): at most size / 2 - 1 characters, then zeros up to the
// end of the buffer. An empty text leaves the buffer as it is. A cut never leaves half a surrogate pair behind.
void CopyToWideBuffer(const QString &text, quint8 *buffer, int size);

// The NUL-terminated UTF-16LE text at the start of a buffer of size bytes.
QString wideText(const quint8 *buffer, int size);

QString tipText(const NotifyIconRecord &record);
QString infoText(const NotifyIconRecord &record);
QString infoTitleText(const NotifyIconRecord &record);

// The record of a new icon: window and icon handles, the creation flags, the callback message, the tip "Meterlane"
// (127 characters at most with balloons, 63 without), uVersion 3 with balloons, and its size.
void CreateIconRecord(NotifyIconRecord &record, quint32 windowHandle, quint32 iconHandle, bool balloons);

// A balloon note: text (255 characters at most; an empty one keeps the previous text), title (63 at most), icon kind
// and time-out, flags NIF_INFO from now on. Nothing at all without balloon support.
void ShowBalloonTip(NotifyIconRecord &record, bool balloons, const QString &sMessage, const QString &sTitle,
                    quint32 eIcon, qint32 lTimeOutMs);

// The toner-low balloon: the warning lines under the title model + " (" + description + ") - Toner Low!", warning
// icon, 30 s.
void ShowTonerBalloon(NotifyIconRecord &record, bool balloons, const QString &model, const QString &description,
                      const QString &tonerWarning);
// The quiet toner-low indication: the tip becomes "Meterlane" + model + warning lines, the icon the alert picture
// (kept as it is when there is none, handle 0). The flags stay as they are.
void ShowTonerQuietly(NotifyIconRecord &record, bool balloons, const QString &model, const QString &tonerWarning,
                      quint32 alertIconHandle);

constexpr qint32 BalloonTimeOutMs = 30000; // the toner and condition notices
inline const QString TrayTip = QStringLiteral("Meterlane");

} // namespace ui
