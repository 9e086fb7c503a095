#include "customercodedialog.h"

#include "store/config.h"
#include "store/globals.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace ui {

using namespace Qt::StringLiterals;

CustomerCodeDialog::CustomerCodeDialog(QWidget *parent)
    : QDialog(parent), imgCompany(new QLabel(this)), Label1(new QLabel(this)), txtCodeCli(new QLineEdit(this)),
      Command1(new QPushButton(u"OK"_s, this)), Command2(new QPushButton(u"Annulla"_s, this)) {
    setObjectName(u"frmCodeCli"_s);
    imgCompany->setObjectName(u"imgCompany"_s);
    Label1->setObjectName(u"Label1"_s);
    txtCodeCli->setObjectName(u"txtCodeCli"_s);
    Command1->setObjectName(u"Command1"_s);
    Command2->setObjectName(u"Command2"_s);

    Label1->setText(u"Inserisci il tuo codice cliente che hai ricevuto nell'email di installazione. Oppure chiama il "
                    "fornitore per avere il tuo codice personale."_s);
    Label1->setWordWrap(true);
    Command1->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(imgCompany, 0, Qt::AlignHCenter);
    layout->addWidget(Label1);
    layout->addWidget(txtCodeCli);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    Label1->setFixedWidth(320);

    // Loading: the executable's name as caption, the vendor's banner when there is one.
    setWindowTitle(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
    QPixmap picture = builtInPicture();
    const store::Globals &values = store::globals();
    const QString banner = store::programFile(values.vendorId + u"b.jpg"_s);
    if (QFileInfo::exists(banner)) {
        QPixmap loaded;
        if (loaded.load(banner))
            picture = loaded;
    }
    imgCompany->setPixmap(picture);

    connect(Command1, &QPushButton::clicked, this, &CustomerCodeDialog::confirm);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
    txtCodeCli->setFocus();
}

void CustomerCodeDialog::confirm() {
    const QString code = txtCodeCli->text();
    store::globals().customerCode = code;
    store::WriteIniValue(store::globals().iniFile, u"Vendor"_s, u"CID"_s, code);
    accept();
}

void CustomerCodeDialog::ask(QWidget *parent) {
    CustomerCodeDialog dialog(parent);
    dialog.exec();
}

QPixmap CustomerCodeDialog::builtInPicture() {
    // A meter dial on a blue band: drawn here, so the program needs no picture file of its own.
    QPixmap picture(160, 48);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 160, 0);
    band.setColorAt(0, QColor(0x1f, 0x4e, 0x8c));
    band.setColorAt(1, QColor(0x4a, 0x90, 0xd9));
    painter.setPen(Qt::NoPen);
    painter.setBrush(band);
    painter.drawRoundedRect(QRectF(0, 0, 160, 48), 6, 6);

    const QRectF dial(12, 8, 64, 64);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(dial, 20 * 16, 140 * 16);
    painter.setPen(QPen(QColor(0xff, 0xc8, 0x3d), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(dial.center(), QPointF(62, 18));
    painter.setBrush(Qt::white);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(dial.center(), 3, 3);

    for (int bar = 0; bar < 4; ++bar) {
        const qreal height = 10 + bar * 7;
        painter.drawRect(QRectF(92 + bar * 15, 40 - height, 10, height));
    }
    return picture;
}

} // namespace ui
