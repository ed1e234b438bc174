__version__: str = "3.5.1"
