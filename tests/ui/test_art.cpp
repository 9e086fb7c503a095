// The program's pictures: each one is in the resources, is valid SVG on the 32 x 32 grid, and draws something
// through the icon engine the program uses.
#include "ui/art.h"
#include "uitest.h"

#include <QImage>
#include <QSvgRenderer>

namespace {

class ArtTest : public uitest::WidgetTest {};

TEST_F(ArtTest, EveryPictureIsValidSvgOnTheGridAndDraws) {
    ui::art::registerResources();
    for (const QString &path : ui::art::All) {
        SCOPED_TRACE(path.toStdString());
        QSvgRenderer renderer(path);
        ASSERT_TRUE(renderer.isValid());
        EXPECT_EQ(renderer.viewBoxF(), QRectF(0, 0, 32, 32));

        const QImage drawn = ui::art::icon(path).pixmap(QSize(32, 32)).toImage();
        ASSERT_EQ(drawn.size(), QSize(32, 32)) << "the SVG icon engine is missing";
        int painted = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) painted += qAlpha(drawn.pixel(x, y)) > 0;
        EXPECT_GT(painted, 32 * 32 / 5);
        EXPECT_LT(painted, 32 * 32) << "transparent around the shape";
    }
}

TEST_F(ArtTest, PicturesAreDistinct) {
    QList<QImage> drawn;
    for (const QString &path : ui::art::All) {
        const QImage image = ui::art::icon(path).pixmap(QSize(32, 32)).toImage();
        EXPECT_FALSE(drawn.contains(image)) << path.toStdString();
        drawn << image;
    }
}

} // namespace
