#include "DisplayMirror.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <string>

#include "MirrorLayout.h"
#include "MirrorPictures.h"
#include "PanelBevel.h"
#include "SegmentGlyphs.h"
#include "WindowFonts.h"
#include "decode/DisplayModel.h"

namespace ostrel {

namespace {

QRect panelRect(MirrorPanel panel) {
  const MirrorPanelRow& row = mirrorPanel(panel);
  return {row.left, row.top, row.width, row.height};
}

QRect rowBox(const MirrorRow& row) {
  const QRect parent = panelRect(row.parent);
  return QRect(parent.left() + row.left, parent.top() + row.top, row.width, row.height)
      .intersected(parent);
}

std::size_t slot(DisplayElement e) { return static_cast<std::size_t>(e); }

}  // namespace

DisplayMirror::DisplayMirror(const DisplayModel& model, QWidget* parent)
    : QWidget(parent), m_model(model) {
  setFixedSize(mirrorWidth, mirrorHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

bool DisplayMirror::looksAsPainted(const MirrorRow& row) const {
  const auto shown = [this](DisplayElement e) {
    return m_model.isVisible(e) == m_paintedVisible[slot(e)];
  };
  if (!shown(row.element)) return false;
  if (row.parent == MirrorPanel::KD && !shown(DisplayElement::KD)) return false;
  return !DisplayModel::isDigit(row.element) ||
         m_model.caption(row.element) == m_paintedCaption[slot(row.element)];
}

void DisplayMirror::refresh() {
  if (!m_painted) {
    update();
    return;
  }
  if (m_model.revision() == m_paintedRevision) return;
  QRegion changed;
  for (const MirrorRow& row : mirrorRows()) {
    if (!looksAsPainted(row)) changed += rowBox(row);
  }
  if (!changed.isEmpty()) update(changed);
}

void DisplayMirror::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  // White face; raised outer and lowered inner bevel with a 1-px border between them.
  paintPanel(painter, rect(), {Qt::white, Bevel::Raised, Bevel::Lowered, 1});
  const QRegion& dirty = event->region();
  for (const MirrorRow& row : mirrorRows()) {
    if (!m_model.isVisible(row.element)) continue;
    if (row.parent == MirrorPanel::KD && !m_model.isVisible(DisplayElement::KD)) continue;
    if (!dirty.intersects(rowBox(row))) continue;
    paintRow(painter, row);
  }
  for (std::size_t i = 0; i < displayElementCount; ++i) {
    const auto e = static_cast<DisplayElement>(i);
    m_paintedVisible[i] = m_model.isVisible(e);
    m_paintedCaption[i] = m_model.caption(e);
  }
  m_paintedRevision = m_model.revision();
  m_painted = true;
}

void DisplayMirror::paintRow(QPainter& painter, const MirrorRow& row) const {
  const QRect parent = panelRect(row.parent);
  const QRect box(parent.left() + row.left, parent.top() + row.top, row.width, row.height);
  painter.save();
  painter.setClipRect(box.intersected(parent));
  switch (row.kind) {
    case MirrorKind::Block:
      painter.fillRect(box, Qt::black);
      break;
    case MirrorKind::Picture:
      paintMirrorPicture(painter, QRectF(box), row.picture);
      break;
    case MirrorKind::Text:
      painter.setPen(Qt::black);
      painter.setFont(arialFont(row.typePx, row.bold));
      painter.drawText(box, Qt::AlignTop | (row.rightAligned ? Qt::AlignRight : Qt::AlignLeft),
                       QString::fromUtf8(row.text.data(), static_cast<qsizetype>(row.text.size())));
      break;
    case MirrorKind::Glyphs: {
      std::string caption(row.text);
      if (DisplayModel::isDigit(row.element)) caption.assign(1, m_model.caption(row.element));
      paintGlyphText(painter, QRectF(box), caption, row.face, row.typePx, row.bold,
                     row.rightAligned);
      break;
    }
  }
  painter.restore();
}

}  // namespace ostrel
