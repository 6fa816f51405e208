#include "ui/tray_popup.h"

#include "platform/shell_open.h"
#include "ui/mouse_label.h"
#include "ui/taskbar_geometry.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// Halves go to the even neighbour, as in the layout arithmetic of the notices.
int roundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

int workRight(const QRect& work)
{
    return work.x() + work.width();
}

int workBottom(const QRect& work)
{
    return work.y() + work.height();
}

// A picture with every pixel of its bottom-left pixel's colour made see-through.
QImage transparentCopy(const QImage& picture)
{
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == key)
                line[x] = 0;
    }
    return image;
}

QString displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

} // namespace

QColor GradientColorAt(const QColor& c1, const QColor& c2, int i, int n)
{
    auto channel = [&](int a, int b) {
        const int step = n == 0 ? 0 : roundHalfEven(static_cast<double>(b - a) * i / n);
        return (a + step) & 0xFF;
    };
    return QColor(channel(c1.red(), c2.red()), channel(c1.green(), c2.green()), channel(c1.blue(), c2.blue()));
}

QImage StripBitmap()
{
    struct Block
    {
        int from;
        int to;
        QRgb rows[3];
    };
    static const Block blocks[] = {
        {0, 71, {qRgb(255, 255, 51), qRgb(251, 218, 48), qRgb(255, 204, 51)}},
        {72, 93, {qRgb(247, 163, 16), qRgb(255, 0, 0), qRgb(204, 0, 0)}},
        {94, 115, {qRgb(51, 153, 204), qRgb(51, 102, 204), qRgb(43, 41, 144)}},
        {116, 137, {qRgb(153, 204, 153), qRgb(115, 188, 136), qRgb(15, 141, 48)}},
    };
    QImage strip(138, 3, QImage::Format_RGB32);
    for (const Block& block : blocks)
        for (int y = 0; y < 3; ++y)
            for (int x = block.from; x <= block.to; ++x)
                strip.setPixel(x, y, block.rows[y]);
    return strip;
}

TTrayPopUp::TTrayPopUp(QWidget& owner)
    : QObject(&owner)
    , m_owner(owner)
{
    HoverFont.Font.setUnderline(true);
    HoverFont.Color = QColor(0, 0, 255);
    TitleFont.Font.setBold(true);
}

TTrayPopUp::~TTrayPopUp()
{
    for (const auto& window : m_windows)
        delete window.data();
}

int TTrayPopUp::GetTaskbarEdge()
{
    return TaskbarEdge(CurrentDesktopArea());
}

std::vector<TfrmTrayPopUp*> TTrayPopUp::Windows() const
{
    std::vector<TfrmTrayPopUp*> alive;
    for (const auto& window : m_windows)
        if (window && !window->isHidden())
            alive.push_back(window.data());
    return alive;
}

bool TTrayPopUp::ShowPopUp()
{
    const int edge = GetTaskbarEdge();
    if (edge != m_stack->LastTaskbarEdge) {
        // The panel moved: the stack starts afresh at the new corner.
        m_stack->LastTaskbarEdge = edge;
        m_stack->Count = 0;
    }
    const QRect work = CurrentDesktopArea().WorkArea;
    if (m_stack->Count <= 0) {
        m_stack->NextOffset = 0;
    } else {
        const int reach = m_stack->NextOffset + Height + PopupStartY;
        const bool full = edge == 1 ? reach > workBottom(work) : workBottom(work) - reach < 0;
        if (full)
            return false;
    }
    ++m_stack->Count;
    m_windows.erase(std::remove_if(m_windows.begin(), m_windows.end(), [](const auto& w) { return w.isNull(); }),
                    m_windows.end());
    auto* window = new TfrmTrayPopUp(*this, m_owner);
    m_windows.emplace_back(window);
    window->PlaceAndShow();
    return true;
}

TfrmTrayPopUp::TfrmTrayPopUp(TTrayPopUp& component, QWidget& owner)
    : QWidget(&owner)
    , m_component(&component)
    , m_text(component.Text)
    , m_url(component.URL)
    , m_title(component.Title)
    , m_timeOut(component.TimeOut)
    , m_scrollSpeed(std::clamp(component.ScrollSpeed, 1, 50))
    , m_allowScroll(component.Options.testFlag(tpAllowScroll))
    , m_allowHyperlink(component.Options.testFlag(tpAllowHyperlink))
    , m_color1(component.GradientColor1)
    , m_color2(component.GradientColor2)
    , m_orientation(component.GradientOrientation)
    , m_drawMethod(component.BackgroundDrawMethod)
    , m_defaultMonitor(component.DefaultMonitor)
    , m_fullWidth(component.Width)
    , m_fullHeight(component.Height)
{
    // A tooltip-type window stays above the others, gets no taskbar entry and is never given the focus.
    setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("frmTrayPopUp"));
    // The window's name is its message, for whatever reads window names (screen readers, tests).
    setWindowTitle(displayText(m_text));

    pnlBorder = new QFrame(this);
    pnlBorder->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlBorder->setLineWidth(2);
    imgGradient = new QLabel(pnlBorder);
    imgIcon = new QLabel(pnlBorder);
    imgIcon->move(3, 8);
    lblText = new TMouseLabel(pnlBorder);
    lblText->setObjectName(QStringLiteral("lblText"));
    lblText->setWordWrap(true);
    lblText->setTextFormat(Qt::PlainText);
    lblText->setAlignment(component.TextAlignment | Qt::AlignVCenter);
    lblText->OnMouseEnter = [this] {
        if (m_allowHyperlink && m_component)
            setTextFont(m_component->HoverFont);
    };
    lblText->OnMouseLeave = [this] {
        if (m_component)
            setTextFont(m_component->Font);
    };
    lblText->OnMouseUp = [this](Qt::MouseButton button, bool inside) { textMouseUp(button, inside); };
    lblTitle = new TMouseLabel(pnlBorder);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblTitle->setTextFormat(Qt::PlainText);
    lblTitle->move(48, 8);
    imgStrip = new QLabel(pnlBorder);
    imgStrip->setScaledContents(true);

    tmrExit = new QTimer(this);
    tmrExit->setInterval(10000);
    connect(tmrExit, &QTimer::timeout, this, &TfrmTrayPopUp::tmrExitTimer);
    tmrScroll = new QTimer(this);
    tmrScroll->setInterval(25);
    connect(tmrScroll, &QTimer::timeout, this, &TfrmTrayPopUp::tmrScrollTimer);
    tmrScrollDown = new QTimer(this);
    tmrScrollDown->setInterval(25);
    connect(tmrScrollDown, &QTimer::timeout, this, &TfrmTrayPopUp::tmrScrollDownTimer);
}

void TfrmTrayPopUp::PlaceAndShow()
{
    TTrayPopUp& component = *m_component;
    const QRect work = CurrentDesktopArea().WorkArea;
    resize(m_fullWidth, m_fullHeight);
    // The panel and its pictures keep the full size from here on: a shrunken window shows part of them.
    pnlBorder->setGeometry(0, 0, m_fullWidth, m_fullHeight);
    const QRect inside = pnlBorder->contentsRect();
    imgGradient->setGeometry(inside);
    imgStrip->setGeometry(inside.x(), inside.y() + inside.height() - 3, inside.width(), 3);
    lblText->setCursor(component.TextCursor);

    m_edge = TTrayPopUp::GetTaskbarEdge();
    AllowFree = true;
    const int offset = component.m_stack->NextOffset;
    int left = 0;
    int top = 0;
    if (m_edge == 0)
        left = work.x() + component.PopupStartX;
    else
        left = workRight(work) - m_fullWidth - component.PopupStartX;
    if (m_edge == 1)
        top = work.y() + component.PopupStartY + offset;
    else
        top = workBottom(work) - component.PopupStartY - m_fullHeight - offset;
    move(left, top);
    CreationOffset = offset;
    if (component.Options.testFlag(tpCascadePopups))
        component.m_stack->NextOffset += m_fullHeight + component.PopupMarge;
    else
        component.m_stack->NextOffset = 0;

    lblTitle->setFont(component.TitleFont.Font);
    QPalette titlePalette = lblTitle->palette();
    titlePalette.setColor(QPalette::WindowText, component.TitleFont.Color);
    lblTitle->setPalette(titlePalette);
    lblTitle->setText(m_title);
    lblTitle->adjustSize();

    paintBackground();
    tmrExit->setInterval(m_timeOut * 1000);

    if (m_allowScroll) {
        QRect start = geometry();
        switch (TTrayPopUp::GetTaskbarEdge()) {
        case 0:
            start.setWidth(1);
            break;
        case 1:
            start.setHeight(1);
            break;
        case 2:
            start = QRect(start.x() + start.width(), start.y(), 1, start.height());
            break;
        default:
            start = QRect(start.x(), start.y() + start.height(), start.width(), 1);
            break;
        }
        setGeometry(start);
        tmrScroll->start();
    } else {
        tmrExit->start();
    }
    show();
    raise();

    setTextFont(component.HoverFont);
    setTextFont(component.Font);
}

void TfrmTrayPopUp::paintBackground()
{
    const TTrayPopUp& component = *m_component;
    const QSize size = imgGradient->size();
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    if (component.BackgroundImage.isNull()) {
        imgStrip->setPixmap(QPixmap::fromImage(StripBitmap()));
        if (m_orientation == mbVertical) {
            const int h = size.height();
            for (int i = 0; i <= h; ++i) {
                painter.setPen(GradientColorAt(m_color1, m_color2, i, h));
                painter.drawLine(0, i, size.width(), i);
            }
        } else {
            const int w = size.width();
            for (int i = 0; i <= w; ++i) {
                painter.setPen(GradientColorAt(m_color1, m_color2, i, w));
                painter.drawLine(i, 0, i, size.height());
            }
        }
    } else {
        const QImage background = transparentCopy(component.BackgroundImage);
        switch (m_drawMethod) {
        case dmActualSize:
            painter.drawImage(0, 0, background);
            break;
        case dmTile:
            for (int x = 0; x < size.width(); x += background.width())
                for (int y = 0; y < size.height(); y += background.height())
                    painter.drawImage(x, y, background);
            break;
        case dmFit:
            painter.drawImage(QRect(QPoint(0, 0), size), background);
            break;
        }
    }
    if (!component.IconBitmap.isNull())
        painter.drawImage(component.IconLeft, component.IconTop, transparentCopy(component.IconBitmap));
    else
        lblTitle->move(8, lblTitle->y());
    painter.end();
    imgGradient->setPixmap(QPixmap::fromImage(picture));
}

void TfrmTrayPopUp::setTextFont(const TPopupFont& font)
{
    lblText->setFont(font.Font);
    QPalette palette = lblText->palette();
    palette.setColor(QPalette::WindowText, font.Color);
    lblText->setPalette(palette);
    LayoutText();
}

void TfrmTrayPopUp::LayoutText()
{
    lblText->setText(displayText(m_text));
    const int panelWidth = pnlBorder->width();
    const int panelHeight = pnlBorder->height();
    const int width = panelWidth - 15;
    const int height = lblText->heightForWidth(width);
    lblText->setGeometry(roundHalfEven((panelWidth - width) / 2.0), roundHalfEven((panelHeight - height) / 2.0), width,
                         height);
}

void TfrmTrayPopUp::tmrScrollTimer()
{
    if (!m_component)
        return;
    const TTrayPopUp& component = *m_component;
    const QRect work = CurrentDesktopArea().WorkArea;
    QRect g = geometry();
    const int speed = m_scrollSpeed;
    const bool horizontal = m_edge == 0 || m_edge == 2;
    const int size = horizontal ? g.width() : g.height();
    const int full = horizontal ? m_fullWidth : m_fullHeight;
    if (size + speed < full) {
        switch (m_edge) {
        case 0:
            g.setWidth(g.width() + speed);
            break;
        case 1:
            g.setHeight(g.height() + speed);
            break;
        case 2:
            g = QRect(g.x() - speed, g.y(), g.width() + speed, g.height());
            break;
        default:
            g = QRect(g.x(), g.y() - speed, g.width(), g.height() + speed);
            break;
        }
        setGeometry(g);
        return;
    }
    switch (m_edge) {
    case 0:
        g.setWidth(full);
        break;
    case 1:
        g.setHeight(full);
        break;
    case 2:
        g = QRect(workRight(work) - component.PopupStartX - full, g.y(), full, g.height());
        break;
    default:
        g = QRect(g.x(), workBottom(work) - component.PopupStartY - full - CreationOffset, g.width(), full);
        break;
    }
    setGeometry(g);
    tmrScroll->stop();
    tmrExit->start();
}

void TfrmTrayPopUp::tmrExitTimer()
{
    tmrExit->stop();
    tmrScrollDown->start();
}

void TfrmTrayPopUp::tmrScrollDownTimer()
{
    QRect g = geometry();
    const int speed = m_scrollSpeed;
    const bool horizontal = m_edge == 0 || m_edge == 2;
    const int size = horizontal ? g.width() : g.height();
    if (size - speed <= 0) {
        CloseNotice();
        return;
    }
    switch (m_edge) {
    case 0:
        g.setWidth(g.width() - speed);
        break;
    case 1:
        g.setHeight(g.height() - speed);
        break;
    case 2:
        g = QRect(g.x() + speed, g.y(), g.width() - speed, g.height());
        break;
    default:
        g = QRect(g.x(), g.y() + speed, g.width(), g.height() - speed);
        break;
    }
    setGeometry(g);
}

void TfrmTrayPopUp::textMouseUp(Qt::MouseButton button, bool inside)
{
    if (button == Qt::LeftButton) {
        if (!inside)
            return;
        AllowFree = false;
        if (m_allowHyperlink) {
            if (m_component && m_component->OnURLClick)
                m_component->OnURLClick(*this, m_url);
            if (m_component && m_component->Options.testFlag(tpAutoOpenURL))
                ShellOpener().Open(m_url.toStdString());
        } else if (m_component && m_component->OnClick) {
            m_component->OnClick(*this);
        }
        AllowFree = true;
        CloseNotice();
        return;
    }
    if (button == Qt::RightButton)
        backgroundClick();
}

void TfrmTrayPopUp::backgroundClick()
{
    if (m_component && m_component->OnClick) {
        AllowFree = false;
        m_component->OnClick(*m_component);
        AllowFree = true;
    }
    CloseNotice();
}

void TfrmTrayPopUp::mousePressEvent(QMouseEvent* event)
{
    event->accept();
}

void TfrmTrayPopUp::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    backgroundClick();
}

void TfrmTrayPopUp::closeEvent(QCloseEvent* event)
{
    event->accept();
    CloseNotice();
}

void TfrmTrayPopUp::CloseNotice()
{
    if (!AllowFree) {
        // A handler that closes the notice while it runs only hides it; the close after the handler frees it.
        hide();
        return;
    }
    if (m_freed)
        return;
    m_freed = true;
    tmrExit->stop();
    tmrScroll->stop();
    tmrScrollDown->stop();
    hide();
    if (m_component && m_component->m_stack->Count > 0)
        --m_component->m_stack->Count;
    deleteLater();
}
