// The handbook: one German text, kept in the repository as
// quillon/resources/handbook.txt, carried in the program's resources and
// installed beside it as Handbuch.txt. Its sections are numbered headings
// ("4. Zeitungen lesen"); help requests open it at the section of the
// window they came from.
#ifndef QUILLON_HANDBOOK_H
#define QUILLON_HANDBOOK_H

#include <string>

// The number of the section that tells of the window of a help topic
// (kHelpMainWindow ... kHelpSearch); 0 for the start of the handbook.
int handbookSectionOf(int topic);

// Where section `number` begins in `text` (its heading line "N. ..."): the
// offset of the heading, or 0 when there is no such section.
size_t handbookSectionStart(const std::string &text, int number);

#endif
