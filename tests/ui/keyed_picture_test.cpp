#include "tests/support/temp_folder.h"
#include "ui/keyed_picture.h"

#include <QResource>

#include <gtest/gtest.h>

namespace {

// A white disc with a black, antialiased outline: the kind of edge that would leave a tinted fringe.
const char* const Disc = "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='40'>"
                         "<circle cx='20' cy='20' r='15' fill='#ffffff' stroke='#000000' stroke-width='3'/></svg>";

const char* const KeyColouredArt = "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'>"
                                   "<rect width='10' height='10' fill='#ffff00'/></svg>";

bool nearKey(QRgb c)
{
    return qRed(c) > 150 && qGreen(c) > 150 && qBlue(c) < 100;
}

class KeyedPictureTest : public ::testing::TestWithParam<qreal>
{
protected:
    void SetUp() override { folder.Write("disc.svg", Disc); }
    QString path() const { return QString::fromStdString(folder.File("disc.svg")); }
    TempFolder folder;
};

TEST_P(KeyedPictureTest, EveryPixelIsExactlyTheKeyOrFarFromIt)
{
    const qreal scale = GetParam();
    const QImage image = RenderKeyedPicture(path(), QSize(40, 40), scale);
    EXPECT_EQ(image.size(), QSize(40, 40) * scale);
    EXPECT_EQ(image.devicePixelRatio(), scale);
    EXPECT_EQ(image.pixel(0, 0), KeyColor.rgb());
    int keyPixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (c == KeyColor.rgb())
                ++keyPixels;
            else
                ASSERT_FALSE(nearKey(c)) << x << "," << y << " " << std::hex << c;
        }
    EXPECT_GT(keyPixels, 0);
}

TEST_P(KeyedPictureTest, ArtworkInTheKeyColourStaysVisible)
{
    folder.Write("key.svg", KeyColouredArt);
    const QImage image = RenderKeyedPicture(QString::fromStdString(folder.File("key.svg")), QSize(10, 10), GetParam());
    EXPECT_NE(image.pixel(5, 5), KeyColor.rgb());
    EXPECT_FALSE(OpaqueRegion(image).isEmpty());
}

TEST_P(KeyedPictureTest, ShapeShowsNoKeyPixel)
{
    const qreal scale = GetParam();
    const QImage image = RenderKeyedPicture(path(), QSize(40, 40), scale);
    const QRegion shape = OpaqueRegion(image);
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_TRUE(shape.contains(QPoint(20, 10)));
    for (int y = 0; y < static_cast<int>(image.height() / scale); ++y)
        for (int x = 0; x < static_cast<int>(image.width() / scale); ++x) {
            if (!shape.contains(QPoint(x, y)))
                continue;
            for (int dy = 0; dy < static_cast<int>(scale); ++dy)
                for (int dx = 0; dx < static_cast<int>(scale); ++dx)
                    ASSERT_NE(image.pixel(static_cast<int>(x * scale) + dx, static_cast<int>(y * scale) + dy),
                              KeyColor.rgb())
                        << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Scales, KeyedPictureTest, ::testing::Values(1.0, 2.0));

// The copies the build draws are what the program would draw itself; a stale one would show old artwork.
TEST(PrerenderedPictureTest, TheBuildsCopiesMatchTheArtworkDrawnNow)
{
    for (const auto& [svg, size] :
         {std::pair {":/bubble.svg", QSize(156, 201)}, std::pair {":/dog.svg", QSize(156, 146)},
          std::pair {":/corvane.svg", QSize(48, 48)}}) {
        const QString path = QString::fromLatin1(svg);
        ASSERT_TRUE(QResource(PrerenderedPath(path, size)).isValid()) << svg;
        EXPECT_EQ(RenderKeyedPicture(path, size, 1.0), RenderKeyedSvg(path, size, 1.0)) << svg;
    }
    EXPECT_EQ(RenderKeyedPicture(QStringLiteral(":/dog.svg"), QSize(156, 146), 2.0).size(), QSize(312, 292))
        << "other scales are drawn";
}

} // namespace
