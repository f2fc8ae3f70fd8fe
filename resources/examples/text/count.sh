#!/bin/bash
# Counts the words and characters of a text you type: type t c.
# @runel.label Count Words
# @runel.icon accessories-calculator
# @runel.argument {"placeholder": "Text to count"}

words=$(printf '%s' "$2" | wc -w)
echo "$words words, ${#2} characters"
