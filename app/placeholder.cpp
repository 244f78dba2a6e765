// The window library; its units arrive with the main window.
