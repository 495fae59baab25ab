#include "core/MessageTable.h"

#include <algorithm>
#include <iterator>

namespace core {
namespace {

constexpr Message kMessages[] = {
    {"SFail_Link", "Reconst_nexo", 65521, "Connect device failed !"},
    {"SFail_Unlink", "Reconst_nexo", 65522, "Disconnect device failed !"},
    {"SFail_Storage_Link", "Reconst_nexo", 65505,
     "Can not connect because the storage access mode is currently in Server mode, not Corvane "
     "mode."},
    {"SAutoLink_Fail", "Reconst_nexo", 65530,
     "The port of auto-connect can not be a LPR / Raw TCP / SMB port."},
    {"SAutoLink_Fail1", "Reconst_nexo", 65531,
     "This driver already be set to auto-connect printer."},
    {"SAutoLink_Fail2", "Reconst_nexo", 65532, "This driver is not be recommended."},
    {"SAutoLink_Fail3", "Reconst_nexo", 65533,
     "This driver is not be recommended. Do you want to continue?"},
    {"SAutoLink_Fail4", "Reconst_nexo", 65534, "This driver already be set to auto-connect fax."},
    {"SFail_SetPrinter1", "Reconst_nexo", 65535,
     "Can not set printer because this print driver already be set to auto-connect printer."},
    {"SFail_SetPrinter2", "Reconst_nexo", 65504,
     "Please delete it from auto-connect printer list before setting printer."},
    {"SNo_TWAIN_Driver", "Reconst_nexo", 65511, "No TWAIN driver was found on this system."},
    {"SNo_Resolution", "Reconst_nexo", 65513,
     "Sorry, this resolution can not be supported by this application."},
    {"SNo_PFile_Name", "Reconst_nexo", 65514, "Please input a name for this group of pictures !"},
    {"SNo_PFile_Path", "Reconst_nexo", 65515,
     "Please choose a place to save this group of pictures !"},
    {"SFile_Open_Exist", "Reconst_nexo", 65517, "File existed already ! Overwirte?"},
    {"STimeout", "Reconst_nexo", 65489, "This scanner was used by someone !"},
    {"SNetwork_NotReady", "Reconst", 65501, "Network is not ready !"},
    {"SPrinterSetup_0", "Reconst", 65485, "Please select one printer !"},
    {"SPrinterSetup_S", "Reconst", 65486, "Success in setting port to printer !"},
    {"SPrinterSetup_F", "Reconst", 65487, "Error in setting port to printer !"},
    {"SPrinterSetup_SMB", "Reconst", 65456, "SMB Port already exist !"},
    {"SFile_Open_Err", "Reconst", 65414, "Can't open file : "},
    {"SFile_Save_Err", "Reconst", 65415, "Can't save file : "},
};

}  // namespace

const Message* FindMessage(std::string_view name) {
  const auto it = std::find_if(std::begin(kMessages), std::end(kMessages),
                               [&](const Message& m) { return name == m.name; });
  return it == std::end(kMessages) ? nullptr : &*it;
}

std::string LoadMessage(std::string_view name) {
  const Message* m = FindMessage(name);
  return m ? m->text : "";
}

}  // namespace core
