OPEN a 127.0.0.1 user pass 0
open b host2 login pw 2121 /incoming
send a b *.zip older > 7
cd a ..
mkdir b new
rename a old.txt new.txt
remove a *.tmp
rmdir b new
ascii a
message Done with the copy
beep
close a
close b
