#pragma once
// The message-box service and the product name under the names the program's windows use. Both
// live a floor down (platform/, core/) so that the scanning windows share them without app/.
#include "core/MessageTable.h"
#include "platform/MessageBoxes.h"

namespace app {

using core::kProductName;

using platform::kIdCancel;
using platform::kIdNo;
using platform::kIdOk;
using platform::kIdYes;
using platform::kMbIconExclamation;
using platform::kMbOk;
using platform::kMbOkCancel;
using platform::kMbTopMost;
using platform::kMbWarnTopMost;
using platform::kMbYesNo;
using platform::MakeMessageBox;
using platform::MessageBoxes;
using platform::messageBoxes;
using platform::setMessageBoxes;

}  // namespace app
