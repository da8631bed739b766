#pragma once

#include "ui/report/ReportRows.h"

namespace ostrel {

// The data set a report is bound to: its rows, plus the switch of the controls bound to
// it (the readings grid). Main thread only.
class ReportDataSet : public ReportRows {
 public:
  // Detach the data-aware controls: they stop following changes until EnableControls.
  virtual void DisableControls() = 0;
  // Re-attach them; they catch up with whatever changed meanwhile.
  virtual void EnableControls() = 0;
};

}  // namespace ostrel
