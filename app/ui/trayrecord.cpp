#include "trayrecord.h"

#include <algorithm>

namespace ui {

quint32 TrayRecordSize(bool balloons, bool isNT) {
    if (balloons) return isNT ? 936 : 488;
    return isNT ? 152 : 88;
}

int TipChars(int count, bool isNT) { return isNT ? count * 2 : count; }

void CopyToWideBuffer(const QString &text, quint8 *buffer, int size) {
    if (text.isEmpty() || buffer == nullptr || size < 2) return;
    // Copying stops after the text's last byte or right after buffer[size - 2], whichever comes first.
    const qsizetype textBytes = text.size() * 2;
    const int copied = static_cast<int>(std::min<qsizetype>(textBytes, size - 1));
    for (int i = 0; i < copied; ++i) {
        const char16_t unit = text.at(i / 2).unicode();
        buffer[i] = static_cast<quint8>(i % 2 == 0 ? unit & 0xff : unit >> 8);
    }
    if (copied < size - 1) {
        std::fill(buffer + copied, buffer + size, quint8(0));
        return;
    }
    buffer[size - 2] = 0;
    buffer[size - 1] = 0;
    // The cut text ends before size - 2; a high surrogate left last would stand for half a character.
    const int lastKept = (size - 2) / 2 - 1;
    if (lastKept >= 0 && text.at(lastKept).isHighSurrogate()) {
        buffer[lastKept * 2] = 0;
        buffer[lastKept * 2 + 1] = 0;
    }
}

QString wideText(const quint8 *buffer, int size) {
    QString text;
    for (int i = 0; i + 1 < size; i += 2) {
        const char16_t unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
        if (unit == 0) break;
        text.append(QChar(unit));
    }
    return text;
}

QString tipText(const NotifyIconRecord &record) { return wideText(record.szTip.data(), int(record.szTip.size())); }
QString infoText(const NotifyIconRecord &record) { return wideText(record.szInfo.data(), int(record.szInfo.size())); }
QString infoTitleText(const NotifyIconRecord &record) {
    return wideText(record.szInfoTitle.data(), int(record.szInfoTitle.size()));
}

namespace {

// The tip's size in bytes: the whole field with balloon support, its first 64 units without.
int tipSize(bool balloons) { return TipChars(balloons ? TipUnits : TipUnits / 2, true); }

} // namespace

void CreateIconRecord(NotifyIconRecord &record, quint32 windowHandle, quint32 iconHandle, bool balloons) {
    record.hWnd = windowHandle;
    record.uID = iconHandle;
    record.uFlags = CreationFlags;
    record.uCallbackMessage = CallbackMessage;
    record.hIcon = iconHandle;
    CopyToWideBuffer(TrayTip, record.szTip.data(), tipSize(balloons));
    if (balloons) record.uTimeoutOrVersion = NotifyIconVersion;
    record.cbSize = TrayRecordSize(balloons, true);
}

void ShowBalloonTip(NotifyIconRecord &record, bool balloons, const QString &sMessage, const QString &sTitle,
                    quint32 eIcon, qint32 lTimeOutMs) {
    if (!balloons) return;
    CopyToWideBuffer(sMessage, record.szInfo.data(), int(record.szInfo.size()));
    CopyToWideBuffer(sTitle, record.szInfoTitle.data(), int(record.szInfoTitle.size()));
    record.uTimeoutOrVersion = static_cast<quint32>(lTimeOutMs);
    record.dwInfoFlags = eIcon;
    record.uFlags = NifInfo;
}

void ShowTonerBalloon(NotifyIconRecord &record, bool balloons, const QString &model, const QString &description,
                      const QString &tonerWarning) {
    const QString title = model + QStringLiteral(" (") + description + QStringLiteral(") - Toner Low!");
    ShowBalloonTip(record, balloons, tonerWarning, title, BalloonWarning, BalloonTimeOutMs);
}

void ShowTonerQuietly(NotifyIconRecord &record, bool balloons, const QString &model, const QString &tonerWarning,
                      quint32 alertIconHandle) {
    CopyToWideBuffer(TrayTip + model + tonerWarning, record.szTip.data(), tipSize(balloons));
    if (alertIconHandle != 0) record.hIcon = alertIconHandle;
}

} // namespace ui
