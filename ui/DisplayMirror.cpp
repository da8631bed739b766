#include "DisplayMirror.h"

#include <QPainter>
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

}  // namespace

DisplayMirror::DisplayMirror(const DisplayModel& model, QWidget* parent)
    : QWidget(parent), m_model(model) {
  setFixedSize(mirrorWidth, mirrorHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void DisplayMirror::refresh() {
  if (!m_painted || m_model.revision() != m_paintedRevision) update();
}

void DisplayMirror::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // White face; raised outer and lowered inner bevel with a 1-px border between them.
  paintPanel(painter, rect(), {Qt::white, Bevel::Raised, Bevel::Lowered, 1});
  for (const MirrorRow& row : mirrorRows()) {
    if (!m_model.isVisible(row.element)) continue;
    if (row.parent == MirrorPanel::KD && !m_model.isVisible(DisplayElement::KD)) continue;
    paintRow(painter, row);
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
