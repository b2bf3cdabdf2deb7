#pragma once
// The lists of the main window as CSV files for other programs: the rows a
// list shows, in the order it shows them, under a line of the column titles,
// with exact values beside the shown texts.

#include <string>

class ListView;
class MediaCatalog;

// The media file list: every shown column, then "Size (bytes)", "Creation
// Date (UTC)" (ISO 8601) and "Full Path".
std::string MediaListCsv(const ListView& files, const MediaCatalog& catalog);
// The project list: every shown column, then "Size (bytes)" and "Files".
std::string ProjectListCsv(const ListView& projects, const MediaCatalog& catalog);
