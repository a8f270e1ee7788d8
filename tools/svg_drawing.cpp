#include "svg_drawing.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QSet>
#include <QXmlStreamReader>
#include <optional>

namespace {

struct Style {
  std::optional<QColor> fill = QColor(Qt::black);  // SVG's defaults
  std::optional<QColor> stroke;
  double stroke_width = 1;
  Qt::FillRule fill_rule = Qt::WindingFill;
};

// Thrown inside this file only; RenderSvgDrawing turns it into the refusal's text.
struct Refused {
  QString text;
};

std::optional<double> ParseNumber(QStringView text) {
  if (text.endsWith(u"px")) text.chop(2);
  bool ok = false;
  const double value = text.trimmed().toDouble(&ok);
  return ok ? std::optional<double>(value) : std::nullopt;
}

double Number(const QXmlStreamAttributes& attributes, const char* attribute, double fallback = 0) {
  const QLatin1String name(attribute);
  if (!attributes.hasAttribute(name)) return fallback;
  const std::optional<double> value = ParseNumber(attributes.value(name));
  if (!value)
    throw Refused{QStringLiteral("%1=\"%2\" ist keine Zahl").arg(name, attributes.value(name))};
  return *value;
}

std::optional<QColor> Paint(QStringView text) {
  if (text == u"none") return std::nullopt;
  const QColor colour = QColor::fromString(text.trimmed());
  if (!colour.isValid()) throw Refused{QStringLiteral("Farbe \"%1\" unbekannt").arg(text)};
  return colour;
}

// The numbers of a "points" list or a path's data, and where its command letters stand.
class Tokens {
 public:
  explicit Tokens(QStringView text) : text_(text) {}

  bool AtEnd() {
    SkipSeparators();
    return position_ >= text_.size();
  }
  std::optional<QChar> Command() {
    SkipSeparators();
    if (position_ < text_.size() && text_[position_].isLetter()) return text_[position_++];
    return std::nullopt;
  }
  double Number() {
    SkipSeparators();
    qsizetype end = position_;
    const auto is_sign = [&](qsizetype i) {
      return i < text_.size() && (text_[i] == u'-' || text_[i] == u'+');
    };
    if (is_sign(end)) ++end;
    while (end < text_.size()) {
      const QChar c = text_[end];
      if (c == u'e' || c == u'E') {
        end += is_sign(end + 1) ? 2 : 1;
      } else if (c.isDigit() || c == u'.') {
        ++end;
      } else {
        break;
      }
    }
    const std::optional<double> value = ParseNumber(text_.mid(position_, end - position_));
    if (end == position_ || !value)
      throw Refused{QStringLiteral("Zahl erwartet in \"%1\"").arg(text_)};
    position_ = end;
    return *value;
  }

 private:
  void SkipSeparators() {
    while (position_ < text_.size() && (text_[position_].isSpace() || text_[position_] == u','))
      ++position_;
  }

  QStringView text_;
  qsizetype position_ = 0;
};

QPainterPath PathData(QStringView data) {
  QPainterPath path;
  Tokens tokens(data);
  QPointF current;
  QPointF start;
  QChar command;
  while (!tokens.AtEnd()) {
    if (const std::optional<QChar> next = tokens.Command()) command = *next;
    if (command.isNull()) throw Refused{QStringLiteral("Zahl ohne Pfadbefehl in \"%1\"").arg(data)};
    const bool relative = command.isLower();
    const QPointF origin = relative ? current : QPointF();
    switch (command.toUpper().unicode()) {
      case u'M':
      case u'L': {
        const double x = tokens.Number();
        current = origin + QPointF(x, tokens.Number());
        if (command.toUpper() == u'M') {
          path.moveTo(current);
          start = current;
          command = relative ? u'l' : u'L';  // further pairs draw lines
        } else {
          path.lineTo(current);
        }
        break;
      }
      case u'H':
        current.setX(origin.x() + tokens.Number());
        path.lineTo(current);
        break;
      case u'V':
        current.setY(origin.y() + tokens.Number());
        path.lineTo(current);
        break;
      case u'Z':
        path.closeSubpath();
        current = start;
        command = QChar();
        break;
      default:
        throw Refused{QStringLiteral("Pfadbefehl %1 wird nicht unterstützt").arg(command)};
    }
  }
  return path;
}

QPolygonF Points(QStringView text) {
  QPolygonF polygon;
  Tokens tokens(text);
  while (!tokens.AtEnd()) {
    const double x = tokens.Number();
    polygon << QPointF(x, tokens.Number());
  }
  return polygon;
}

void CheckAttributes(const QXmlStreamReader& reader) {
  static const QSet<QString> kKnown = {QStringLiteral("id"),
                                       QStringLiteral("version"),
                                       QStringLiteral("width"),
                                       QStringLiteral("height"),
                                       QStringLiteral("viewBox"),
                                       QStringLiteral("x"),
                                       QStringLiteral("y"),
                                       QStringLiteral("rx"),
                                       QStringLiteral("ry"),
                                       QStringLiteral("points"),
                                       QStringLiteral("cx"),
                                       QStringLiteral("cy"),
                                       QStringLiteral("r"),
                                       QStringLiteral("d"),
                                       QStringLiteral("fill"),
                                       QStringLiteral("stroke"),
                                       QStringLiteral("stroke-width"),
                                       QStringLiteral("fill-rule")};
  for (const QXmlStreamAttribute& attribute : reader.attributes()) {
    if (!attribute.namespaceUri().isEmpty() || kKnown.contains(attribute.name().toString()))
      continue;
    throw Refused{QStringLiteral("Attribut %1 an <%2> wird nicht unterstützt")
                      .arg(attribute.qualifiedName(), reader.name())};
  }
}

Style Inherit(Style style, const QXmlStreamAttributes& attributes) {
  if (attributes.hasAttribute(QLatin1String("fill")))
    style.fill = Paint(attributes.value(QLatin1String("fill")));
  if (attributes.hasAttribute(QLatin1String("stroke")))
    style.stroke = Paint(attributes.value(QLatin1String("stroke")));
  style.stroke_width = Number(attributes, "stroke-width", style.stroke_width);
  if (attributes.hasAttribute(QLatin1String("fill-rule"))) {
    style.fill_rule = attributes.value(QLatin1String("fill-rule")) == u"evenodd" ? Qt::OddEvenFill
                                                                                 : Qt::WindingFill;
  }
  return style;
}

QPainterPath Shape(QStringView element, const QXmlStreamAttributes& a) {
  QPainterPath path;
  if (element == u"rect") {
    const QRectF rect(Number(a, "x"), Number(a, "y"), Number(a, "width"), Number(a, "height"));
    const double rx = Number(a, "rx", Number(a, "ry"));
    path.addRoundedRect(rect, rx, Number(a, "ry", rx));
  } else if (element == u"circle") {
    const double r = Number(a, "r");
    path.addEllipse(QPointF(Number(a, "cx"), Number(a, "cy")), r, r);
  } else if (element == u"polygon") {
    const QPolygonF polygon = Points(a.value(QLatin1String("points")));
    if (!polygon.isEmpty()) {
      path.addPolygon(polygon);
      path.closeSubpath();
    }
  } else if (element == u"path") {
    path = PathData(a.value(QLatin1String("d")));
  } else {
    throw Refused{QStringLiteral("<%1> wird nicht unterstützt").arg(element)};
  }
  return path;
}

void Draw(QPainter& painter, QPainterPath path, const Style& style) {
  path.setFillRule(style.fill_rule);
  if (style.fill) painter.fillPath(path, *style.fill);
  if (style.stroke && style.stroke_width > 0) {
    QPen pen(*style.stroke, style.stroke_width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(4);
    painter.strokePath(path, pen);
  }
}

// Sets up the painter for the root element's viewBox, centred in the square.
void MapViewBox(QPainter& painter, const QXmlStreamAttributes& a, int size) {
  QRectF box(0, 0, Number(a, "width", size), Number(a, "height", size));
  if (a.hasAttribute(QLatin1String("viewBox"))) {
    Tokens tokens(a.value(QLatin1String("viewBox")));
    const double x = tokens.Number();
    const double y = tokens.Number();
    const double width = tokens.Number();
    box = QRectF(x, y, width, tokens.Number());
  }
  if (box.width() <= 0 || box.height() <= 0) throw Refused{QStringLiteral("leere Zeichenfläche")};
  const double scale = std::min(size / box.width(), size / box.height());
  painter.translate((size - box.width() * scale) / 2, (size - box.height() * scale) / 2);
  painter.scale(scale, scale);
  painter.translate(-box.topLeft());
}

void PaintDocument(QXmlStreamReader& reader, QPainter& painter, int size) {
  QList<Style> styles;
  bool saw_root = false;
  int skipped_depth = 0;  // inside <title>, <desc> or <metadata>
  while (!reader.atEnd()) {
    const QXmlStreamReader::TokenType token = reader.readNext();
    if (token == QXmlStreamReader::EndElement) {
      if (skipped_depth > 0) {
        --skipped_depth;
      } else if (!styles.isEmpty()) {
        styles.removeLast();
      }
      continue;
    }
    if (token != QXmlStreamReader::StartElement) continue;
    const QStringView name = reader.name();
    if (skipped_depth > 0 || name == u"title" || name == u"desc" || name == u"metadata") {
      ++skipped_depth;
      continue;
    }
    CheckAttributes(reader);
    const QXmlStreamAttributes attributes = reader.attributes();
    if (styles.isEmpty()) {
      if (name != u"svg") throw Refused{QStringLiteral("keine SVG-Zeichnung")};
      if (saw_root) throw Refused{QStringLiteral("mehr als eine Zeichnung")};
      saw_root = true;
      MapViewBox(painter, attributes, size);
      styles.append(Inherit(Style(), attributes));
      continue;
    }
    const Style style = Inherit(styles.last(), attributes);
    styles.append(style);
    if (name != u"g") Draw(painter, Shape(name, attributes), style);
  }
  if (reader.hasError()) throw Refused{reader.errorString()};
  if (!saw_root) throw Refused{QStringLiteral("keine SVG-Zeichnung")};
}

}  // namespace

SvgRender RenderSvgDrawing(const QByteArray& svg, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QXmlStreamReader reader(svg);
  try {
    PaintDocument(reader, painter, size);
  } catch (const Refused& refused) {
    return {QImage(), refused.text};
  }
  painter.end();
  return {image, QString()};
}
