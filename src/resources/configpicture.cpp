#include "resources/configpicture.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

QPixmap ConfigFormPicture(int width, int height, qreal devicePixelRatio) {
  QPixmap picture(QSize(width, height) * devicePixelRatio);
  picture.setDevicePixelRatio(devicePixelRatio);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, 0, height);
  sky.setColorAt(0, QColor(0x10, 0x2a, 0x5c));
  sky.setColorAt(1, QColor(0x1c, 0x7c, 0x8c));
  painter.fillRect(QRect(0, 0, width, height), sky);

  // An open address book: two pages and a spine.
  const qreal cx = width / 2.0, top = height * 0.18, pageW = width * 0.32, pageH = height * 0.30;
  painter.setPen(QPen(QColor(0x0b, 0x1d, 0x40), 1.5));
  for (int side : {-1, 1}) {
    QPainterPath page;
    page.moveTo(cx, top + 6);
    page.cubicTo(cx + side * pageW * 0.4, top - 4, cx + side * pageW * 0.8, top, cx + side * pageW, top + 4);
    page.lineTo(cx + side * pageW, top + pageH);
    page.cubicTo(cx + side * pageW * 0.8, top + pageH - 4, cx + side * pageW * 0.4, top + pageH - 8, cx,
                 top + pageH + 2);
    page.closeSubpath();
    painter.setBrush(QColor(0xf4, 0xf1, 0xe8));
    painter.drawPath(page);
    painter.setPen(QPen(QColor(0x9a, 0xa8, 0xb8), 1));
    for (int line = 1; line <= 5; ++line) {
      const qreal y = top + pageH * line / 6.5 + 4;
      painter.drawLine(QPointF(cx + side * 6, y), QPointF(cx + side * (pageW - 6), y));
    }
    painter.setPen(QPen(QColor(0x0b, 0x1d, 0x40), 1.5));
  }
  // A small directory tree below the book.
  painter.setPen(QPen(QColor(0xe8, 0xf0, 0xff), 1.5));
  painter.setBrush(QColor(0xf0, 0xb4, 0x2a));
  const QPointF root(cx, height * 0.60);
  const QPointF leaves[] = {{cx - 36, height * 0.70}, {cx, height * 0.70}, {cx + 36, height * 0.70}};
  for (const QPointF& leaf : leaves) painter.drawLine(root, leaf);
  painter.drawEllipse(root, 6, 6);
  for (const QPointF& leaf : leaves) painter.drawEllipse(leaf, 5, 5);

  painter.setPen(Qt::white);
  QFont name(QStringLiteral("DejaVu Sans"));
  name.setPixelSize(22);
  name.setBold(true);
  painter.setFont(name);
  painter.drawText(QRectF(0, height * 0.76, width, 28), Qt::AlignCenter, QStringLiteral("Pernix"));
  QFont sub(QStringLiteral("DejaVu Sans"));
  sub.setPixelSize(10);
  painter.setFont(sub);
  painter.drawText(QRectF(0, height * 0.76 + 28, width, 16), Qt::AlignCenter, QStringLiteral("LDAP Address Book"));
  return picture;
}
