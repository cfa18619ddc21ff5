// The string table, kept sorted by id so a lookup is a binary search.
#include "platform/MessageTable.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>

namespace zyfar {
namespace {

struct MessageEntry {
  int id;
  std::string_view text;
};

// Sorted by id, no id twice (checked below at compile time). Adjacent literals
// are joined by the compiler; a text is split after each of its line breaks.
constexpr MessageEntry kMessages[] = {
    // Start-up, browsing, profiles, dialogs and the scheduler
    {100, "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
    {129, "File"},
    {146, "File was not a valid FTP server file!"},
    {147, "File already exists, overwrite?"},
    {162, "bytes"},
    {164, "Filter"},
    {165, "Filter mask:"},
    {166, "Wildcard"},
    {168, "Wildcard mask:"},
    {170, "Only one file can be selected at a time for this operation"},
    {171, "Please select a file for renaming"},
    {173, "No such path to rename directory"},
    {174, "File was not renamed. A file by that name already exists!"},
    {175, "Please enter new file name"},
    {177,
     "About to rename file %s to %s!\n"
     "Continue?"},
    {179, "Please select a file!"},
    {180, "No such file!"},
    {182, "File is read only!"},
    {183, "About to remove file %s!"},
    {187, "Yes"},
    {188, "Cancel"},
    {190, "Yes To All"},
    {192, "Append"},
    {194, "Replace"},
    {196, "Append or Replace?"},
    {197, "Delete?"},
    {199, "Would you like to append or replace the current list?"},
    {203, "No files to FTP!"},
    {207, "Cancel FTP sending?"},
    {221, "New Folder"},
    {223, "Delete Folder and Sub-folders?"},
    {224, "This folder only"},
    {225, "Delete Folder"},
    {226, "Please fill all fields"},
    {227, "A profile with this name already exists!"},
    {228, "A profile with this name does not exist!"},
    {235, "Symbolic Link"},
    {236, "System Config"},
    {237, "FTP Put Canceled"},
    {239, "Can't overwrite existing file!"},
    {240, "Can't create file folder! FTP Put Canceled!"},
    {241,
     "Please insert the number of times in the\n"
     "Scheduler Frequency edit box."},
    {245, "Please insert FTP server, login, password and port values."},
    {246, "Please enter new folder name"},
    {247, "FTP connection still alive. Disconnect?"},
    {248, "Couldn't find file to delete!"},
    {249, "File was not deleted!"},
    // Month names (January .. December)
    {254, "January"},
    {255, "February"},
    {256, "March"},
    {257, "April"},
    {258, "May"},
    {259, "June"},
    {260, "July"},
    {261, "August"},
    {262, "September"},
    {263, "October"},
    {264, "November"},
    {265, "December"},
    // Scheduler frequencies
    {266, "Once"},
    {267, "Today"},
    {268, "Hourly"},
    {269, "Daily"},
    {270, "Weekly"},
    {271, "Monthly"},
    {272, "Yearly"},
    // Weekday names (Sunday .. Saturday)
    {273, "Sunday"},
    {274, "Monday"},
    {275, "Tuesday"},
    {276, "Wednesday"},
    {277, "Thursday"},
    {278, "Friday"},
    {279, "Saturday"},
    // Log, profile bar, scheduler, links and first start
    {280,
     "Bad log file format. Logging is turned off.\n"
     "Please change file name in Log Configurator. "},
    {281, "No files could be found for the given wildcard!"},
    {286, "FTP Sites"},
    {287, "File Profiles"},
    {291, "On"},
    {293, "Off"},
    {295, "Can't schedule in the past ... Please change time!"},
    {296, "Schedules in list were changed, Save?"},
    {297, "Please select an entry in list !"},
    {298, "About to delete list entry, OK?"},
    {301, "Sites <->  File List"},
    {302, "Start Scheduler?"},
    {303, "Stop Scheduler?"},
    {310, "Enter list of files name"},
    {311, "Please insert a link name"},
    {312, "There are no FTP Sites in the list box"},
    {313, "There are no files in the list box"},
    {314, "Old and new names are identical, cannot rename"},
    {315, "A link has not been selected for deletion"},
    {324, "E-Mail for Anonymous FTP"},
    {326, "Please enter your E-mail address"},
    {327, "Invalid e-mail address!"},
    {345, "Clear the list?"},
    {347, "Could not rename file from %s to %s!"},
    {349, "File %s already exists. Overwrite?"},
    {350, "List of files Profiles"},
    {351, "Retrieving remote files ... Please wait."},
    {352, "Please enter an e-mail address for anonymous FTP"},
    {353, "Zyfar Profiles"},
    {354, "Updating preconfigured profiles. Please wait ..."},
    // Directory comparison progress texts
    {1269, "Refreshing folder lists. Please wait ..."},
    {1270, "Checking for differences. Please wait ..."},
    // Internet error texts (12xxx codes of the FTP session); 12038 is our own wording
    {12001, "No more handles could be generated at this time."},
    {12002, "The request has timed out."},
    {12003, "An extended error was returned from the server."},
    {12004, "An internal error has occurred."},
    {12005, "The URL is invalid."},
    {12006, "The URL scheme could not be recognized or is not supported."},
    {12007, "The server name could not be resolved.\n"},
    {12008, "The requested protocol could not be located."},
    {12009,
     "A request to InternetQueryOption or InternetSetOption specified an invalid "
     "option value."},
    {12010,
     "The length of an option supplied to InternetQueryOption or InternetSetOption is "
     "incorrect for the type of option specified."},
    {12011, "The request option cannot be set, only queried."},
    {12012, "The Win32 Internet function support is being shut down or unloaded."},
    {12013,
     "The request to connect and log on to an FTP server could\n"
     "not be completed because the supplied user name is incorrect."},
    {12015, "The request to connect to and log on to an FTP server  failed."},
    {12016, "The requested operation is invalid."},
    {12017,
     "The operation was canceled, usually because the handle on\n"
     "which the request was operating was closed before the\n"
     "operation completed."},
    {12018, "The type of handle supplied is incorrect for this operation."},
    {12019,
     "The requested operation cannot be carried out because the\n"
     "handle supplied is not in the correct state."},
    {12020, "The request cannot be made via a proxy."},
    {12021, "A required registry value could not be located."},
    {12022,
     "A required registry value was located but is an incorrect\n"
     "type or has an invalid value."},
    {12023, "Direct network access cannot be made at this time.\n"},
    {12024,
     "An asynchronous request could not be made because a zero\n"
     "context value was supplied.\n"},
    {12025,
     "An asynchronous request could not be made because a callback function has not "
     "been set."},
    {12026,
     "The required operation could not be completed because one\n"
     "or more requests are pending."},
    {12027, "The format of the request is invalid.\n"},
    {12028, "The requested item could not be located."},
    {12029, "The attempt to connect to the server failed."},
    {12030, "The connection with the server has been terminated."},
    {12031, "The connection with the server has been reset."},
    {12032, "Calls for the Win32 Internet function to redo the request."},
    {12033, "The request to the proxy was invalid.\n"},
    {12036, "The request failed because the handle already exists."},
    {12037,
     "SSL certificate date that was received from the server is\n"
     "bad. The certificate is expired."},
    {12038,
     "SSL certificate common name that was received from the server\n"
     "does not match the host name that was entered."},
    {12039,
     "The application is moving from a non-SSL to an SSL\n"
     "connection because of a redirect."},
    {12040,
     "The application is moving from an SSL to an non-SSL\n"
     "connection because of a redirect."},
    {12041,
     "Indicates that the content is not entirely secure. Some of\n"
     "the content being viewed may have come from unsecured\n"
     "servers.\n"},
    {12042,
     "The application is posting and attempting to change\n"
     "multiple lines of text on a server that is not secure."},
    {12043, "The application is posting data to a sever that is not secure."},
    // FTP over TLS: certificate and protection failures (our own wording)
    {12045,
     "The server's certificate was not issued by a known certificate\n"
     "authority and has not been trusted for this server."},
    // FTP-specific internet error texts
    {12110,
     "The requested operation cannot be made on the FTP session\n"
     "handle because an operation is already in progress."},
    {12111,
     "The FTP operation was not completed because the session \n"
     "was aborted."},
    {12113,
     "The server refused FTP over TLS. Nothing further was sent, so\n"
     "no password or file crossed the network in clear text."},
    {12157, "The secure (TLS) connection with the server could not be\nestablished or has failed."},
    {12169,
     "The server's certificate is not the one trusted for this server.\n"
     "It may have been replaced, or the connection may have been\n"
     "intercepted."},
    // Transfer log event texts; 32877 is the session-closed event, which the log
    // records with the text of 32876
    {32861, "FTP Connection OK"},
    {32862, "FTP Connection Failed"},
    {32863, "FTP Transfer Complete"},
    {32864, "FTP Transfer Failed"},
    {32865, "Internet Connection OK"},
    {32866, "Internet Connection Failed"},
    {32867, "Change Directory OK"},
    {32868, "Change Directory Failed"},
    {32869, "Directory/File Deletion OK"},
    {32870, "Directory/File Deletion Failed"},
    {32871, "Directory/File Renaming OK"},
    {32872, "Directory/File Renaming Failed"},
    {32873, "Make Directory OK"},
    {32874, "Make Directory Failed"},
    {32875, "FTP Connection Closed"},
    {32876, "Internet Connection Closed"},
    {32877, "Internet Connection Closed"},
    // Script interpreter, queue, folders, configuration and the window title
    {33027, "Could not parse this line in file: "},
    {33028, "ERROR!"},
    {33033, "File does not exist! Could not be renamed!"},
    {33034, "Stop"},
    {33035, "Resume"},
    {33036, "No such path to create directory"},
    {33037, "Directory was not created, it already exists!"},
    {33038, "No such path to remove directory"},
    {33039, "Ascii/Text mode"},
    {33040, "Binary mode"},
    {33042, "A log file name was not provided"},
    {33043, "List is empty, nothing to save ..."},
    {33044, "The queue will be deleted. Continue?"},
    {33045,
     "The main screen cannot accept this kind of data.\n"
     "You need to be in \"Multiple Put\" mode."},
    {33046, "Please select a profile!"},
    {33047,
     "Could not remove folder\n"
     "Folder still contains sub-folders or is write protected!"},
    {33048,
     "Folder was not renamed.\n"
     " A folder with the wanted name already exists."},
    {33049,
     "A Cern Proxy connection to the internet requires\n"
     "a proxy name and/or a port number.\n"
     "Please see your proxy setup."},
    {33050, "Could not open Zyfar Script file, exiting ...."},
    {33051, "Could not find Zyfar link, exiting ..."},
    {33052, "Bad number of parameters on line:"},
    {33053, "List has changed, save?"},
    {33054, "Queue is either empty or all files are currently being sent"},
    {33055, "Zyfar v. 2.06"},
};

constexpr std::size_t kMessageCount = std::size(kMessages);

constexpr bool IsSortedAndUnique() {
  for (std::size_t i = 1; i < kMessageCount; ++i) {
    if (kMessages[i - 1].id >= kMessages[i].id) {
      return false;
    }
  }
  return true;
}
static_assert(IsSortedAndUnique(), "the string table must be sorted by id without duplicates");

constexpr bool AllTextsPresent() {
  for (const MessageEntry& e : kMessages) {
    if (e.text.empty()) {
      return false;
    }
  }
  return true;
}
static_assert(AllTextsPresent(), "every string-table entry needs a text");

constexpr std::array<int, kMessageCount> MakeIds() {
  std::array<int, kMessageCount> ids{};
  for (std::size_t i = 0; i < kMessageCount; ++i) {
    ids[i] = kMessages[i].id;
  }
  return ids;
}
constexpr std::array<int, kMessageCount> kIds = MakeIds();

const MessageEntry* Find(int id) noexcept {
  const auto* first = std::begin(kMessages);
  const auto* last = std::end(kMessages);
  const auto* it = std::lower_bound(
      first, last, id, [](const MessageEntry& e, int wanted) { return e.id < wanted; });
  if (it == last || it->id != id) {
    return nullptr;
  }
  return it;
}

}  // namespace

std::string_view MessageText(int id) noexcept {
  const MessageEntry* e = Find(id);
  return e != nullptr ? e->text : std::string_view{};
}

bool HasMessage(int id) noexcept { return Find(id) != nullptr; }

std::span<const int> MessageIds() noexcept { return {kIds.data(), kIds.size()}; }

}  // namespace zyfar
