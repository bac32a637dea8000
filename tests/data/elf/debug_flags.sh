# Sourced by build_elf_fixtures.sh and build_firmware_fixtures.sh: the
# debugging flags of a fixture, from the last part of its NAME.
#
#   dw2, dw4, dw5   -gdwarf-2, -4, -5
#   dw5l5           -gdwarf-5 with version 5 line tables (-Wa,--gdwarf-5)
#   dw4tu, dw5tu    -gdwarf-4 or -5 with type units (-fdebug-types-section)
dwarf_flags() {
    case "$1" in
        dw2)    echo "-gdwarf-2" ;;
        dw4)    echo "-gdwarf-4" ;;
        dw5)    echo "-gdwarf-5" ;;
        dw5l5)  echo "-gdwarf-5 -Wa,--gdwarf-5" ;;
        dw4tu)  echo "-gdwarf-4 -fdebug-types-section" ;;
        dw5tu)  echo "-gdwarf-5 -fdebug-types-section" ;;
        *)      echo "unknown debug format $1" >&2; exit 1 ;;
    esac
}
