#include "aboutbox.h"

#include "art.h"
#include "links.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace ui {

using namespace Qt::StringLiterals;

namespace {

QLabel *label(const QString &name, const QString &text, QWidget *parent) {
    auto *made = new QLabel(text, parent);
    made->setObjectName(name);
    return made;
}

bool isLeftRelease(QEvent *event) {
    return event->type() == QEvent::MouseButtonRelease &&
           static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
}

} // namespace

AboutBox::AboutBox(QWidget *parent)
    : QDialog(parent), Image1(label(u"Image1"_s, {}, this)), Label1(label(u"Label1"_s, u"developed by:"_s, this)),
      Label3(label(u"Label3"_s, u"Custom Software Development"_s, this)),
      Label2(label(u"Label2"_s, u"Meterlane Software\n1 Example Road\nExample Town 00000\n"_s + MakerContact, this)),
      cmdOK(new QPushButton(u"OK"_s, this)) {
    setObjectName(u"frmCastorel"_s);
    setWindowTitle(u"info"_s);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);

    Image1->setPixmap(art::icon(art::Logo).pixmap(QSize(96, 96)));
    Image1->setToolTip(MakerWebSite);
    Label2->setToolTip(MakerContact);
    QFont heading = Label3->font();
    heading.setBold(true);
    Label3->setFont(heading);
    for (QLabel *link : {Image1, Label2}) {
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
    }

    auto *texts = new QVBoxLayout;
    texts->addWidget(Label1);
    texts->addWidget(Label3);
    texts->addSpacing(6);
    texts->addWidget(Label2);
    texts->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

bool AboutBox::eventFilter(QObject *watched, QEvent *event) {
    if (isLeftRelease(event)) {
        if (watched == Image1) jumpTo(this, MakerWebSite);
        if (watched == Label2) mailMaker();
    }
    return QDialog::eventFilter(watched, event);
}

void AboutBox::showAbout(QWidget *parent) {
    AboutBox box(parent);
    box.exec();
}

} // namespace ui
