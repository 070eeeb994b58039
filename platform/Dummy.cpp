namespace cadrell { int dummyUiSymbol = 0; }
