OPEN a 127.0.0.1 user pass 0Žopen b host2 login pw 2121 /incoming
send a b *.zip older > 7
cd a ..
mkdir b new
rename a old.txt new.txt
remove a *.tmp
rmdi/ nightly mirrorr b new
asc ioi