// TVIkPrint: the print component (being written).
