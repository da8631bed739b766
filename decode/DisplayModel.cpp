#include "DisplayModel.h"

namespace ostrel {

namespace {

using E = DisplayElement;

constexpr std::array digitElements = {E::LabelA,  E::LabelB,  E::LabelC, E::LabelD,  E::Label3,
                                      E::Label7,  E::Label10, E::Label9, E::H_Time1, E::H_Time2,
                                      E::M_Time1, E::M_Time2, E::stor2};

// The elements that single bits and point flags show, in the order DispInit hides them.
constexpr std::array<E, 74> resetSet = {
    E::Bar0,    E::BAR1,    E::bar2,      E::bar3,    E::bar4,     E::bar5,     E::bar6,
    E::bar7,    E::bar8,    E::bar9,      E::bar10,   E::bar11,    E::bar12,    E::bar13,
    E::bar14,   E::bar15,   E::bar16,     E::bar17,   E::bar18,    E::bar19,    E::bar20,
    E::bar21,   E::bar22,   E::bar23,     E::bar24,   E::bar25,    E::bar26,    E::bar27,
    E::bar28,   E::bar29,   E::bar30,     E::LabFUL,  E::Labclr,   E::Labng,    E::Shape1,
    E::Shape2,  E::Shape3,  E::Shape4,    E::labdc,   E::labt,     E::labac,    E::labmo,
    E::Labgo,   E::Labv,    E::Labo,      E::Labmo1,  E::Labgo1,   E::Labto,    E::power,
    E::labs1,   E::labs2,   E::labs3,     E::labCOMP, E::labTIME1, E::labtime2, E::Labtime,
    E::labsave, E::labLoad, E::labp1,     E::danger,  E::IMoff,    E::IMmike,   E::IGPower,
    E::powerV1, E::powerv2, E::powerv3,   E::Point1,  E::Point2,   E::Point3,   E::LabelF,
    E::Labgood, E::stor1,   E::T_dPoint1, E::Label4};

}  // namespace

DisplayModel::DisplayModel() {
  m_visible.fill(true);
  m_visible[index(E::CONok)] = false;
  for (E e : digitElements) {
    m_caption[index(e)] = '8';
  }
  for (E e : {E::Label3, E::Label7, E::Label10, E::Label9}) {
    m_caption[index(e)] = '0';
  }
}

bool DisplayModel::isDigit(DisplayElement e) {
  for (E d : digitElements) {
    if (d == e) return true;
  }
  return false;
}

void DisplayModel::setVisible(DisplayElement e, bool visible) {
  if (m_visible[index(e)] != visible) {
    m_visible[index(e)] = visible;
    ++m_revision;
  }
}

void DisplayModel::setCaption(DisplayElement e, char c) {
  if (!isDigit(e) || m_caption[index(e)] == c) return;
  m_caption[index(e)] = c;
  ++m_revision;
}

void DisplayModel::DispInit(int mode) {
  if (mode != 0) return;
  for (E e : resetSet) {
    setVisible(e, false);
  }
}

}  // namespace ostrel
