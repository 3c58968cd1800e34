#!/usr/bin/python3
"""Writes the shipped settings database: an SQLite file with the empty table Init, whose three
columns are the remembered folders. The program adds the first row on its first start and makes
the table Options when it first stores an option; Init is never altered afterwards."""
import os
import sqlite3
import sys

path = sys.argv[1]
if os.path.exists(path):
    os.remove(path)
con = sqlite3.connect(path)
con.execute("CREATE TABLE Init (ExcelPath TEXT, WordPath TEXT, UserDocPath TEXT)")
con.commit()
con.close()
