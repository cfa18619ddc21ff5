lcd /
lcd nowhere
get LOCAL *.txt
put LOCAL nothing-here-*.zz
send LOCAL LOCAL x
binary LOCAL
ascii LOCAL
open
open a b c d
mkdir LOCAL x
remove LOCAL x
rename LOCAL a b
close LOCAL
message hi
