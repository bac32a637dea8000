// Rules and headings of the debug tables. The line-number table is framed by
// lineTableRule followed directly by symbolTableRule: its right-hand columns
// are the symbol-table columns, since the row of a function's first entry
// goes on with the function's symbol row.
#pragma once

namespace dravont {

inline constexpr char lineTableRule[] = "    --------+------------+--------+";
inline constexpr char lineTableHeading[] =
    "    LNoIndex|symndx/paddr|  lnno  |SID/Line|  Symbol                        "
    "| value  |scnum|  type  |sclass|numaux|";
inline constexpr char symbolTableRule[] =
    "--------+--------------------------------+--------+-----+--------+------+------+";
inline constexpr char symbolTableHeading[] =
    " Index  |           Symbol               | value  |scnum|  type  |sclass|numaux|";

}  // namespace dravont
