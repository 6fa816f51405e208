// A list of same-sized images drawn from SVG artwork, rendered sharp at whatever scale they are painted.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class QPainter;
class QSvgRenderer;

class TImageList final
{
public:
    TImageList(int width, int height);
    ~TImageList();
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Count() const { return static_cast<int>(m_images.size()); }

    // Appends an image from SVG data (a file or a Qt resource path).
    void AddSvg(const QString& path);

    // Draws image `index` with its top-left corner at (x, y) in logical pixels, honouring its transparency.
    // An index outside the list draws nothing.
    void Draw(QPainter& painter, int x, int y, int index) const;

    // Image `index` rendered for a device pixel ratio; null for an index outside the list.
    QPixmap Pixmap(int index, qreal devicePixelRatio) const;
    QIcon Icon(int index) const;

private:
    struct Image;
    int m_width;
    int m_height;
    std::vector<std::unique_ptr<Image>> m_images;
};
