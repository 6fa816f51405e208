#include "ui/image_list.h"

#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

struct TImageList::Image
{
    std::unique_ptr<QSvgRenderer> renderer;
    mutable std::map<int, QPixmap> byScale; // keyed by device pixel ratio in hundredths
};

TImageList::TImageList(int width, int height)
    : m_width(width)
    , m_height(height)
{ }

TImageList::~TImageList() = default;

void TImageList::AddSvg(const QString& path)
{
    auto image = std::make_unique<Image>();
    image->renderer = std::make_unique<QSvgRenderer>(path);
    m_images.push_back(std::move(image));
}

QPixmap TImageList::Pixmap(int index, qreal devicePixelRatio) const
{
    if (index < 0 || index >= Count())
        return {};
    const Image& image = *m_images[static_cast<size_t>(index)];
    const int key = static_cast<int>(std::lround(devicePixelRatio * 100));
    auto found = image.byScale.find(key);
    if (found != image.byScale.end())
        return found->second;
    const QSize pixels(static_cast<int>(std::ceil(m_width * devicePixelRatio)),
                       static_cast<int>(std::ceil(m_height * devicePixelRatio)));
    QPixmap pixmap(pixels);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        image.renderer->render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    image.byScale.emplace(key, pixmap);
    return pixmap;
}

void TImageList::Draw(QPainter& painter, int x, int y, int index) const
{
    const QPixmap pixmap = Pixmap(index, painter.device() ? painter.device()->devicePixelRatioF() : 1.0);
    if (!pixmap.isNull())
        painter.drawPixmap(QPoint(x, y), pixmap);
}

QIcon TImageList::Icon(int index) const
{
    QIcon icon;
    for (const qreal scale : {1.0, 2.0})
        icon.addPixmap(Pixmap(index, scale));
    return icon;
}
