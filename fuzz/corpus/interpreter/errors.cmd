
   get
bogus line
open x
get a b c d e f g
message
openly s h l p 99999999999
put s file word >= -2147483649
