#include "output/type_class_table.h"

namespace dravont {

const TypeClass TypeClassTable[2][20] = {
    // H8
    {
        {"(VOID)", "(nl)"},  // T_NULL
        {"(VOID)", "(v)"},   // T_VOID
        {"(BYTE)", "(c)"},   // T_CHAR
        {"(WORD)", "(s)"},   // T_SHORT
        {"(WORD)", "(i)"},   // T_INT
        {"(LONG)", "(l)"},   // T_LONG
        {"(FLOT)", "(f)"},   // T_FLOAT
        {"(DBLE)", "(d)"},   // T_DOUBLE
        {"(VOID)", "(s)"},   // T_STRUCT
        {"(VOID)", "(u)"},   // T_UNION
        {"(VOID)", "(e)"},   // T_ENUM
        {"(VOID)", "(me)"},  // T_MOE
        {"(BYTE)", "(Uc)"},  // T_UCHAR
        {"(WORD)", "(Us)"},  // T_USHORT
        {"(WORD)", "(Ui)"},  // T_UINT
        {"(LONG)", "(Ul)"},  // T_ULONG
        {"(LGDL)", "(ld)"},  // T_LNGDBL
        {"", ""},
        {"", ""},
        {"", ""},
    },
    // SH
    {
        {"(VOID)", "(nl)"},
        {"(VOID)", "(v)"},
        {"(BYTE)", "(c)"},
        {"(WORD)", "(s)"},
        {"(LONG)", "(i)"},
        {"(LONG)", "(l)"},
        {"(FLOT)", "(f)"},
        {"(DBLE)", "(d)"},
        {"(VOID)", "(s)"},
        {"(VOID)", "(u)"},
        {"(VOID)", "(e)"},
        {"(VOID)", "(me)"},
        {"(BYTE)", "(Uc)"},
        {"(WORD)", "(Us)"},
        {"(LONG)", "(Ui)"},
        {"(LONG)", "(Ul)"},
        {"(LGDL)", "(ld)"},
        {"", ""},
        {"", ""},
        {"", ""},
    },
};

}  // namespace dravont
