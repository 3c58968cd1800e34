#!/usr/bin/python3
"""Writes the shipped settings database: an SQLite file with the empty table Init."""
import os
import sqlite3
import sys

path = sys.argv[1]
if os.path.exists(path):
    os.remove(path)
con = sqlite3.connect(path)
con.execute("CREATE TABLE Init (ExcelPath TEXT, WordPath TEXT, UserDocPath TEXT, NameColumn TEXT, OutputType TEXT)")
con.commit()
con.close()
