// COMTRADE recordings measured by the analysis tool.
